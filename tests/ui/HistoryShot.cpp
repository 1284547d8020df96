// Draws the history dialog over a small journal of three runs (a batch run,
// a per-record run with refused records, a per-record run that did not finish)
// as the window manager frames it, and saves it as a PNG for the README.
//
//   quillmark-history-shot OUT.png JOURNAL_FILE

#include "FramedShot.h"
#include "ScreenCheck.h"

#include "journal/JournalWriter.h"
#include "tests/journal/JournalFiles.h"
#include "ui/DialogUnits.h"
#include "ui/HistoryDlg.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

struct Account {
    const char* no;
    const char* name;
    const char* bankCode; // null: a reserve account
    const char* bank;
};

const Account kAccounts[] = {
    {"000100234561", "华东证券股份有限公司", nullptr, nullptr},
    {"000100234562", "华东证券上海营业部", nullptr, nullptr},
    {"000100234563", "华东证券杭州营业部", nullptr, nullptr},
    {"000100234564", "华东证券南京营业部", nullptr, nullptr},
    {"6222021001001234567890123456", "华东证券股份有限公司", "0102", "中国工商银行上海分行"},
    {"6228480010012345678901234567", "华东证券上海营业部", "0103", "中国农业银行上海分行"},
    {"6217000010012345678901234568", "华东证券杭州营业部", "0105", "中国建设银行杭州分行"},
    {"6216610010012345678901234569", "华东证券南京营业部", "0104", "中国银行南京分行"},
};

void WriteRun(journal::JournalWriter& writer, const char* mode, bool perRecord,
              const std::vector<std::pair<const char*, const char*>>& outcomes, bool finish,
              const char* message) {
    BeginRun(writer, StartOf(mode, "/srv/accounts", 1));
    std::vector<UploadRequestRecord> requests;
    std::vector<UploadResultRecord> results;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const Account& a = kAccounts[i];
        requests.push_back(a.bankCode == nullptr ? ReserveRequest(a.no, a.name)
                                                 : BankRequest(a.bankCode, a.no, a.name, a.bank));
        results.push_back(ResultFor(requests.back(), outcomes[i].first, outcomes[i].second));
    }
    upload::ExchangeFacts facts;
    facts.returnCode = "0000";
    for (std::size_t i = 0; i < requests.size(); i = perRecord ? i + 1 : requests.size()) {
        const std::size_t n = perRecord ? 1 : requests.size();
        facts.sent = std::chrono::system_clock::now();
        facts.serialNo = "202612070000" + std::to_string(1000 + i);
        facts.outcome = std::string(outcomes[i].first) == "9720" ? -2 : 1;
        Exchanged(writer, {&requests[i], n}, {&results[i], n}, facts);
    }
    if (!finish)
        return;
    Shown(writer, message);
    EndRun(writer);
}

void WriteJournal(const std::string& file) {
    journal::JournalWriter writer(file);
    writer.SetSession({"张三", "10.1.2.3", 7070});
    const std::pair<const char*, const char*> ok{"0000", "处理成功"};
    const std::pair<const char*, const char*> duplicate{"9720", "记录已存在"};
    WriteRun(writer, "全部上传", false, {ok, ok, ok, ok, ok, ok, ok, ok}, true, "上传数据成功!");
    WriteRun(writer, "逐笔上传", true, {ok, duplicate, ok, ok, ok, duplicate, ok, ok}, true,
             "上传A股备付金成功3条,失败1条;\n上传银行账户成功3条,失败1条;");
    writer.SetSession({"李四", "10.1.2.3", 7070});
    WriteRun(writer, "逐笔上传", true, {ok, ok, ok}, false, "");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: quillmark-history-shot OUT.png JOURNAL_FILE\n", stderr);
        return 2;
    }
    QApplication::setFont(DialogFont());
    WriteJournal(argv[2]);
    std::string error;
    auto reader = journal::JournalReader::Open(argv[2], error);
    if (!reader) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CHistoryDlg dlg(std::move(reader), nullptr);
    dlg.SelectRun(1);
    dlg.show();
    int status = 1;
    QTimer::singleShot(200, &dlg, [&] {
        if (!AwaitFrame(dlg)) {
            dlg.done(0);
            return;
        }
        const bool fits = FitsAvailableArea(dlg, {"closeButton", "exportButton", "resultsView"});
        const QPixmap window = FramedWindow(dlg, dlg.screen()->grabWindow(0));
        status = window.save(QString::fromLocal8Bit(argv[1]), "PNG") && fits ? 0 : 1;
        dlg.done(0);
    });
    dlg.exec();
    return status;
}
