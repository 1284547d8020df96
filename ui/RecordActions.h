#pragma once
// The window's items for results that outlast it: "导出结果..." in each
// account list's context menu, and "上传记录..." (the history dialog) in the
// window's own.

#include <string>

class CReserveUploadDlg;

void AddRecordActions(CReserveUploadDlg& dlg);

// The journal the history dialog reads; set at start-up by the program that
// knows the settings. Unset, the item says there is no journal.
void SetHistoryJournalFile(std::string path);
