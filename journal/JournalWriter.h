#pragma once
// The journal on disk: an SQLite file in WAL mode written by a thread of its
// own. The calls of IJournal copy what they are given into a queue and return;
// the writer thread inserts it and commits at least every 200 ms, at the start
// of a run (its row) and at its end. Several processes may write to the same
// file at once; each waits up to a few seconds for the others' commits.
//
// A file that cannot be opened or written (no such directory and none can be
// made, no write permission, disk full, another program's file, a damaged
// journal or one of a newer version) is left as it is; the journal stops for
// the rest of the session and TakeProblem hands out one message naming the
// file and the reason.

#include "journal/Journal.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace journal {

class JournalWriter final : public IJournal {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kCommitInterval{200};

    // Opens or creates `path` (file mode 0600; a missing directory is made
    // with mode 0700) on the writer thread when the first run begins.
    // `clock` decides when a commit is due; the steady clock when empty.
    explicit JournalWriter(std::string path, Clock clock = {});
    // Writes and commits everything queued; a run still open stays unfinished.
    ~JournalWriter() override;
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    void SetSession(const SessionFacts& session) override;
    void FilesLoaded(const LoadedFiles& files) override;
    // Returns at once; the run's row is committed at the writer's next
    // commit, ahead of any backlog of earlier runs.
    void RunStarted(const upload::RunStart& start) override;
    // A large request's accounts are put in the file while the gateway
    // works on it, so that its results cost little when they come.
    // The records are let go once their accounts are noted: a report
    // without them then takes each record's account from that note.
    bool RequestSending(std::span<const UploadRequestRecord> requests,
                        std::shared_ptr<const void> keepAlive) override;
    void RequestFinished(const upload::RequestReport& report) override;
    void RunEnded(upload::RunEnding ending, upload::WallClock::time_point when) override;
    void MessageShown(const std::string& message) override;
    void MessageDismissed(upload::WallClock::time_point when) override;
    std::string TakeProblem() override;

    // Returns when the writer thread has handled everything queued before the
    // call, and committed if a commit was due by the clock.
    void Sync();
    // Waits for what the last run queued (its end, or its message's
    // dismissal). Called from the uploading thread.
    bool WaitForRun(std::chrono::milliseconds timeout) override;
    // True when a problem waits for TakeProblem.
    bool HasProblem() const;

    const std::string& Path() const { return m_path; }

private:
    struct State;
    std::string m_path;
    std::unique_ptr<State> m_state;
    std::uint64_t m_runTicket = 0; // the uploading thread's last run item
};

// True for a date YYYY-MM-DD that exists in the calendar.
bool IsPruneDate(const std::string& date);

// Removes the runs that started before `date` (YYYY-MM-DD, local time) with
// their requests and results, except runs a living program is still writing,
// in short transactions that a writer can interleave with; then accounts no
// run refers to any more (when no program has the journal open for writing)
// and gives the free pages back to the file system in small steps. Returns
// the number of runs removed, or -1 with `error` set.
std::int64_t PruneRunsBefore(const std::string& path, const std::string& date, std::string& error);

} // namespace journal
