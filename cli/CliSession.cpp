#include "cli/CliSession.h"

#include "accounts/ListColumns.h"
#include "cli/FailedRecordCounter.h"
#include "cli/ResultsFolder.h"
#include "cli/TerminalMainWindow.h"
#include "cli/TerminalReportList.h"
#include "export/TableExport.h"
#include "journal/Journal.h"
#include "login/GatewayLogin.h"
#include "support/Communication.h"
#include "support/Text.h"
#include "uploader/AccountUploader.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <utility>

namespace {

// The journal writes behind the upload: its verdict on a run comes after the
// run's message. Waiting for it longer than a second is said on stderr.
constexpr std::chrono::seconds kQuietJournalWait{1};
constexpr std::chrono::hours kJournalWaitLimit{24};

// What the window's button handlers do with each command; 1 when it succeeded.
// `journalFailed` is set when the journal could not record the run.
int Upload(CAccountUploader& uploader, int (CAccountUploader::*mode)(), journal::IJournal* journal,
           std::ostream& err, bool& journalFailed) {
    const int done = (uploader.*mode)();
    if (journal != nullptr) {
        if (!journal->WaitForRun(kQuietJournalWait)) {
            err << "[等待] 正在写入上传记录..." << '\n' << std::flush;
            journal->WaitForRun(kJournalWaitLimit);
        }
        // Said once, after the run's own message.
        if (const std::string problem = journal->TakeProblem(); !problem.empty()) {
            err << problem << '\n' << std::flush;
            journalFailed = true;
        }
    }
    return done == 1 ? 1 : 0;
}

int RunCommand(CliCommand command, CAccountUploader& uploader, journal::IJournal* journal,
               IPrompt& prompt, std::ostream& err, bool& journalFailed) {
    switch (command) {
    case CliCommand::Load: {
        // The files' facts are taken only for a journal: hashing costs time.
        LoadedFiles files;
        if (uploader.Load(journal != nullptr ? &files : nullptr) == 1) {
            if (journal != nullptr)
                journal->FilesLoaded(files);
            return 1;
        }
        prompt.ShowMessage(uploader.LastError());
        return 0;
    }
    case CliCommand::UploadAll:
        return Upload(uploader, &CAccountUploader::UploadAll, journal, err, journalFailed);
    case CliCommand::UploadEach:
        return Upload(uploader, &CAccountUploader::UploadEach, journal, err, journalFailed);
    case CliCommand::UploadNew:
        return Upload(uploader, &CAccountUploader::UploadNew, journal, err, journalFailed);
    }
    return 0;
}

ExportTable ListTable(const char* kind, std::span<const ListColumn> columns,
                      const CTerminalReportList& list) {
    ExportTable table;
    table.kind = kind;
    for (const ListColumn& column : columns)
        table.titles.emplace_back(column.title);
    table.rows = static_cast<std::size_t>(list.GetItemCount());
    table.cell = [&list](std::size_t row, std::size_t column) {
        return list.Cell(static_cast<int>(row), static_cast<int>(column));
    };
    return table;
}

// Writes each list to its own file in `dir`; returns the first failure or "".
std::string WriteResultsFolder(const CliSessionInput& input, const ExportTable& reserve,
                               const ExportTable& bank) {
    if (std::string failure = MakeResultsFolder(*input.resultsDir); !failure.empty())
        return failure;
    for (const auto& [list, table] : {std::pair{"reserve", &reserve}, std::pair{"bank", &bank}}) {
        const std::string path =
            FreeResultsPath(*input.resultsDir, ResultsFileName(list, input.startedAt));
        if (std::string failure = ExportTables(path, {*table}); !failure.empty())
            return failure;
    }
    return "";
}

} // namespace

int CombineExitStatus(int current, int another) {
    if (current == kCliSuccess)
        return another;
    if (another == kCliSuccess)
        return current;
    return std::min(current, another);
}

int RunCliSession(const CliSessionInput& input, std::ostream& out) {
    CTerminalMainWindow window(out);
    CCommunication* pComm = GetGolbalCommunicaHandle();
    if (pComm == nullptr) {
        window.ShowMessage("获得通讯句柄错误!");
        return kCliNoCommunication;
    }
    const std::string address = input.gatewayAddress.value_or(pComm->DefaultGatewayAddress);
    // A negative default means none is configured: an empty field, as in the window.
    const std::string port = input.gatewayPort.value_or(
        pComm->DefaultGatewayPort >= 0 ? text::Format("%d", pComm->DefaultGatewayPort) : "");

    CTerminalReportList bankList(static_cast<int>(BankListColumns().size()));
    CTerminalReportList reserveList(static_cast<int>(ReserveListColumns().size()));
    int status = kCliSuccess;
    bool journalFailed = false;
    FailedRecordCounter counter(input.journal);
    {
        CAccountUploader uploader(&bankList, &reserveList, &window);
        uploader.Runs().SetObserver(&counter);
        uploader.Runs().SetOrigin(input.origin);
        if (LoginGateway(window, pComm, input.operatorName, input.password, address, port) == 1) {
            if (input.journal != nullptr)
                input.journal->SetSession(
                    {input.operatorName, address, text::ParseDecimal32(port)});
            window.ShowMessage("登录成功!");
            for (const CliCommand command : input.commands) {
                if (RunCommand(command, uploader, input.journal, window, *input.err,
                               journalFailed) != 1) {
                    status = kCliStepFailed;
                    break;
                }
            }
        } else {
            status = GetGolbalCommunicaHandle() == nullptr ? kCliNoCommunication : kCliStepFailed;
        }
    }

    reserveList.Print(out, "reserve");
    bankList.Print(out, "bank");
    const ExportTable reserveTable = ListTable(kReserveListKind, ReserveListColumns(), reserveList);
    const ExportTable bankTable = ListTable(kBankListKind, BankListColumns(), bankList);
    // A results file that cannot be written leaves the upload as it went.
    bool resultsFailed = false;
    if (input.resultsPath) {
        const std::string failure = ExportTables(*input.resultsPath, {reserveTable, bankTable});
        if (!failure.empty()) {
            window.ShowMessage(failure);
            resultsFailed = true;
        }
    }
    if (input.resultsDir) {
        const std::string failure = WriteResultsFolder(input, reserveTable, bankTable);
        if (!failure.empty()) {
            window.ShowMessage(failure);
            resultsFailed = true;
        }
    }
    if (counter.Failed() > 0)
        status = CombineExitStatus(status, kCliRecordsFailed);
    if (journalFailed || resultsFailed)
        status = CombineExitStatus(status, kCliJournalFailed);
    out.flush();
    if (CCommunication* comm = GetGolbalCommunicaHandle())
        comm->Close();
    return status;
}
