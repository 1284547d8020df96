#pragma once
// The uploader wired as a front end wires it: recording lists with the window's
// column counts and a recording main window. Fixtures derive from it so that
// `uploader`, `bankList`, `reserveList` and `window` read as their own.

#include "accounts/ListColumns.h"
#include "fakes/RecordingMainWindow.h"
#include "fakes/RecordingReportList.h"
#include "uploader/AccountUploader.h"

struct UploaderRig {
    RecordingReportList bankList{static_cast<int>(BankListColumns().size())};
    RecordingReportList reserveList{static_cast<int>(ReserveListColumns().size())};
    RecordingMainWindow window;
    CAccountUploader uploader{&bankList, &reserveList, &window};
};
