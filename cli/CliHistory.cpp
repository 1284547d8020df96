#include "cli/CliHistory.h"

#include "cli/CliSession.h"
#include "cli/TerminalReportList.h"
#include "journal/JournalReader.h"
#include "journal/JournalWriter.h"

#include <charconv>
#include <filesystem>
#include <optional>

namespace {

constexpr std::int64_t kPage = 10'000;

struct HistoryArgs {
    std::optional<std::int64_t> runId;
    bool failedOnly = false;
    bool stats = false;
    std::optional<std::string> pruneBefore;
};

std::optional<std::int64_t> ParseRunId(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0)
        return std::nullopt;
    return value;
}

// Empty when the arguments are usable, else the usage error.
std::string ParseHistoryArgs(const std::vector<std::string>& args, HistoryArgs& parsed) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--failed") {
            parsed.failedOnly = true;
        } else if (arg == "--stats") {
            parsed.stats = true;
        } else if (arg == "--prune-before" || arg.starts_with("--prune-before=")) {
            std::string date;
            if (arg.size() > 14)
                date = arg.substr(15);
            else if (i + 1 < args.size())
                date = args[++i];
            else
                return "--prune-before needs a date YYYY-MM-DD";
            if (!journal::IsPruneDate(date))
                return "--prune-before '" + date + "' is not a date YYYY-MM-DD";
            parsed.pruneBefore = date;
        } else if (!arg.starts_with("-") && !parsed.runId) {
            parsed.runId = ParseRunId(arg);
            if (!parsed.runId)
                return "history: '" + arg + "' is not a run number";
        } else {
            return "history: unexpected argument '" + arg + "'";
        }
    }
    if (parsed.pruneBefore && (parsed.runId || parsed.failedOnly))
        return "history --prune-before takes no run number and no --failed";
    if (parsed.stats && (parsed.runId || parsed.failedOnly || parsed.pruneBefore))
        return "history --stats takes no other argument";
    if (parsed.failedOnly && !parsed.runId)
        return "history --failed needs a run number";
    return {};
}

const char* EndingName(journal::Ending ending) {
    switch (ending) {
    case journal::Ending::Completed:
        return "completed";
    case journal::Ending::Failed:
        return "failed";
    case journal::Ending::Stopped:
        return "stopped";
    case journal::Ending::Unfinished:
        break;
    }
    return "unfinished";
}

const char* OutcomeName(journal::Outcome outcome) {
    switch (outcome) {
    case journal::Outcome::Stored:
        return "stored";
    case journal::Outcome::Held:
        return "held";
    case journal::Outcome::Refused:
        return "refused";
    case journal::Outcome::NotStored:
        return "not_stored";
    case journal::Outcome::Unknown:
        return "unknown";
    case journal::Outcome::NotSent:
        break;
    }
    return "not_sent";
}

void PrintRuns(journal::JournalReader* reader, std::ostream& out) {
    // The columns after "message" came later; scripts read the earlier ones
    // by position, so new ones only ever go at the end.
    out << "run\tstarted\tended\toperator\tgateway\tmode\treserve_sent\treserve_stored\t"
           "reserve_failed\tbank_sent\tbank_stored\tbank_failed\tmessage\t"
           "reserve_held\treserve_refused\treserve_not_stored\treserve_unknown\t"
           "bank_held\tbank_refused\tbank_not_stored\tbank_unknown\torigin\tending\t"
           "dismissed\n";
    if (reader == nullptr)
        return;
    for (const journal::RunInfo& run : reader->Runs()) {
        out << run.id << '\t' << run.started << '\t' << (run.Finished() ? run.ended : "unfinished")
            << '\t' << EscapeCell(run.operatorName) << '\t' << EscapeCell(run.gatewayAddress) << ':'
            << run.gatewayPort << '\t' << run.mode << '\t' << run.reserve.sent << '\t'
            << run.reserve.stored << '\t' << run.reserve.failed << '\t' << run.bank.sent << '\t'
            << run.bank.stored << '\t' << run.bank.failed << '\t' << EscapeCell(run.message);
        for (const journal::KindCounts* counts : {&run.reserve, &run.bank})
            out << '\t' << counts->held << '\t' << counts->refused << '\t' << counts->notStored
                << '\t' << counts->unknown;
        out << '\t' << run.origin << '\t' << EndingName(run.ending) << '\t' << run.dismissed
            << '\n';
    }
}

void PrintResults(journal::JournalReader& reader, std::int64_t runId, bool failedOnly,
                  std::ostream& out) {
    out << "kind\trow\tcode\ttext\taccount_no\taccount_name\tbank_code\tbank_name\t"
           "outcome\trequest\tfinal\n";
    journal::ResultFilter filter;
    filter.failedOnly = failedOnly;
    for (std::int64_t offset = 0;; offset += kPage) {
        const auto page = reader.Results(runId, filter, offset, kPage);
        for (const journal::Result& r : page) {
            out << (r.kind == journal::Kind::Bank ? "bank" : "reserve") << '\t' << r.row << '\t'
                << EscapeCell(r.code) << '\t' << EscapeCell(r.text) << '\t'
                << EscapeCell(r.accountNo) << '\t' << EscapeCell(r.accountName) << '\t'
                << EscapeCell(r.bankCode) << '\t' << EscapeCell(r.bankName) << '\t'
                << OutcomeName(r.outcome) << '\t' << r.requestSeq << '\t' << (r.final ? 1 : 0)
                << '\n';
        }
        if (static_cast<std::int64_t>(page.size()) < kPage)
            break;
    }
}

} // namespace

int RunCliHistory(const std::vector<std::string>& args, const std::string& journalPath,
                  std::ostream& out, std::ostream& err) {
    HistoryArgs parsed;
    if (const std::string usage = ParseHistoryArgs(args, parsed); !usage.empty()) {
        err << "quillmark-cli: " << usage << "\nTry 'quillmark-cli --help'.\n";
        return kCliUsageError;
    }

    std::error_code ignored;
    const bool exists = std::filesystem::exists(journalPath, ignored);
    if (parsed.pruneBefore) {
        if (!exists) {
            out << "removed 0 runs\n";
            return kCliSuccess;
        }
        std::string error;
        const std::int64_t removed =
            journal::PruneRunsBefore(journalPath, *parsed.pruneBefore, error);
        if (removed < 0) {
            err << error << '\n';
            return kCliStepFailed;
        }
        out << "removed " << removed << " runs\n";
        return kCliSuccess;
    }

    // No journal yet is no run yet, not an error.
    std::string error;
    auto reader = exists ? journal::JournalReader::Open(journalPath, error) : nullptr;
    if (exists && !reader) {
        err << error << '\n';
        return kCliStepFailed;
    }
    if (parsed.stats) {
        const journal::JournalStats stats = reader ? reader->Stats() : journal::JournalStats();
        out << "file\tbytes\truns\taccounts\n"
            << journalPath << '\t' << stats.fileBytes << '\t' << stats.runs << '\t'
            << stats.accounts << '\n';
        return kCliSuccess;
    }
    if (!parsed.runId) {
        PrintRuns(reader.get(), out);
        return kCliSuccess;
    }
    if (!reader || !reader->FindRun(*parsed.runId)) {
        err << "quillmark-cli: no run " << *parsed.runId << " in the journal " << journalPath
            << '\n';
        return kCliStepFailed;
    }
    PrintResults(*reader, *parsed.runId, parsed.failedOnly, out);
    return kCliSuccess;
}
