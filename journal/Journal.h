#pragma once
// What the upload code tells the operator's journal. The uploader holds a
// pointer to one (or none) and calls it from the uploading thread; an
// implementation must return at once, as the records are copied and written
// elsewhere. A journal that cannot write never fails these calls: it keeps
// one problem text for the operator instead (TakeProblem).

#include "journal/JournalReader.h"
#include "upload/UploadRecords.h"

#include <chrono>
#include <span>
#include <string>

namespace journal {

// Who uploads to which gateway; known after a login.
struct SessionFacts {
    std::string operatorName;
    std::string gatewayAddress;
    int gatewayPort = 0;
};

// The three account files as the last load read them.
struct LoadedFiles {
    FileFacts bank;     // yhzh.dat
    FileFacts reserveA; // agbfj.dat
    FileFacts reserveB; // bgbfj.dat
};

struct RunStart {
    std::string mode; // the button's text
    std::string workDir;
    int headerMode = 0;
};

// One exchange with the settlement system, as the exchange saw it.
struct ExchangeFacts {
    std::chrono::system_clock::time_point sent;
    int outcome = 0;           // what the exchange returned
    std::string serialNo;      // empty when none was handed out
    std::string returnCode;    // the response header's, empty when none arrived
    std::string returnMessage; // UTF-8, when the code was not "0000"
};

class IJournal {
public:
    virtual ~IJournal() = default;

    virtual void SetSession(const SessionFacts& session) = 0;
    virtual void FilesLoaded(const LoadedFiles& files) = 0;

    // Starts a run with the session and files last given. Returns once the
    // run's row is committed, or the journal has given up on it, so that a
    // run killed after its first request still shows.
    virtual void BeginRun(const RunStart& start) = 0;
    // One request of the current run: its records in the order sent and the
    // results that came back (matched to the records by position only when
    // there is one per record).
    virtual void Exchanged(std::span<const UploadRequestRecord> requests,
                           std::span<const UploadResultRecord> results,
                           const ExchangeFacts& facts) = 0;
    // The rows (from 0, in their lists) of the records of the next Exchanged,
    // for a mode that sends rows out of order. Without it the records of each
    // kind take the rows one after another from the first of the run.
    virtual void NextRows(std::span<const std::size_t> rows) = 0;
    // A message the operator was shown during the run (UTF-8).
    virtual void Shown(const std::string& message) = 0;
    // Ends the run and commits it.
    virtual void EndRun() = 0;

    // The text of a problem that stopped the journal, the first time only
    // (one message per session); empty otherwise.
    virtual std::string TakeProblem() = 0;
};

} // namespace journal
