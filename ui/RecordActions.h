#pragma once
// The window's items for results that outlast it: "导出结果..." in each
// account list's context menu.

class CReserveUploadDlg;

void AddRecordActions(CReserveUploadDlg& dlg);
