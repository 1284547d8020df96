#pragma once
// Which runs a living program is still writing, and whether any program has
// the journal open for writing, told by open-file-description locks on bytes
// far past the end of the journal file, where SQLite never locks. A program
// that ends, however it ends, drops its locks: a run left unfinished by a
// crash is not live.

#include <cstdint>
#include <string>

namespace journal {

class LiveRuns {
public:
    LiveRuns() = default;
    ~LiveRuns();
    LiveRuns(const LiveRuns&) = delete;
    LiveRuns& operator=(const LiveRuns&) = delete;

    // Opens the journal file (read-write) for locking only; false when it cannot be opened.
    // The descriptor stays open until Close, because closing a descriptor of
    // the file would drop SQLite's own locks held by this program.
    bool Open(const std::string& path);
    void Close();

    // A writer holds the catalog shared while it has the file open; cleaning
    // the catalog (removing accounts no run refers to) needs it alone.
    bool ShareCatalog();  // waits for a cleaner to finish
    bool TryOwnCatalog(); // false when a writer has it open
    void ReleaseCatalog();

    void Hold(std::int64_t runId);
    void Release(std::int64_t runId);
    // True when another open description holds the run.
    bool IsLive(std::int64_t runId) const;

private:
    int m_fd = -1;
};

} // namespace journal
