// Removing old runs: the one change to the journal made outside the writer.

#include "journal/JournalWriter.h"
#include "journal/LiveRuns.h"
#include "journal/ResultBlock.h"
#include "journal/Schema.h"
#include "journal/Sql.h"
#include "support/Text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace journal {

bool IsPruneDate(const std::string& date) {
    if (date.size() != 10 || date[4] != '-' || date[7] != '-')
        return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (date[i] < '0' || date[i] > '9')
            return false;
    const int year = std::stoi(date.substr(0, 4));
    const unsigned month = static_cast<unsigned>(std::stoi(date.substr(5, 2)));
    const unsigned day = static_cast<unsigned>(std::stoi(date.substr(8, 2)));
    return std::chrono::year_month_day(std::chrono::year(year), std::chrono::month(month),
                                       std::chrono::day(day))
        .ok();
}

namespace {

// Each step of a prune is its own short transaction, so that a writer waiting
// for the file gets it between two steps.
constexpr int kBlocksPerStep = 64;
constexpr int kRowsPerStep = 20000;
constexpr int kPagesPerStep = 2048;

class Pruner {
public:
    Pruner(sqlite3* db, LiveRuns& live) : m_db(db), m_live(live) {}

    // Runs `sql` (binding ?1) in a transaction of its own until it changes
    // nothing. False on an SQLite error.
    bool Repeat(const char* sql, std::int64_t value) {
        Statement s(m_db, sql);
        if (!s.Ok())
            return false;
        for (;;) {
            if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
                return false;
            s.Bind(1, value);
            const int rc = s.Step();
            s.Reset();
            const int changed = sqlite3_changes(m_db);
            if (rc != SQLITE_DONE) {
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
                return false;
            }
            if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
                return false;
            if (changed == 0)
                return true;
        }
    }

    bool RemoveRun(std::int64_t runId) {
        return Repeat("DELETE FROM result_block WHERE id IN (SELECT id FROM result_block "
                      "WHERE run_id = ?1 LIMIT 64)",
                      runId) &&
               Repeat("DELETE FROM request WHERE rowid IN (SELECT rowid FROM request "
                      "WHERE run_id = ?1 LIMIT 20000)",
                      runId) &&
               Repeat("DELETE FROM run WHERE id = ?1", runId);
    }

    // Accounts and replies no remaining run refers to. Only while no writer
    // has the journal open: a writer hands out ids from memory.
    bool RemoveUnreferenced() {
        if (!m_live.TryOwnCatalog())
            return true;
        std::vector<bool> accounts, replies;
        {
            Statement s(m_db, "SELECT count, data FROM result_block");
            std::vector<BlockEntry> entries;
            while (s.Step() == SQLITE_ROW) {
                entries.clear();
                const auto* data = static_cast<const char*>(sqlite3_column_blob(s.Get(), 1));
                const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s.Get(), 1));
                if (!DecodeBlock(std::string_view(data != nullptr ? data : "", size), s.Int(0),
                                 entries)) {
                    // A damaged block may refer to anything: keep every account.
                    m_live.ReleaseCatalog();
                    return true;
                }
                for (const BlockEntry& e : entries) {
                    Mark(accounts, e.accountId);
                    Mark(replies, e.replyId);
                }
            }
        }
        const bool ok = RemoveUnmarked("account", accounts) && RemoveUnmarked("reply", replies);
        m_live.ReleaseCatalog();
        return ok;
    }

    void GiveBackFreePages() {
        Statement freePages(m_db, "PRAGMA freelist_count");
        const std::string step = text::Format("PRAGMA incremental_vacuum(%d)", kPagesPerStep);
        for (std::int64_t before = -1;;) {
            freePages.Reset();
            if (freePages.Step() != SQLITE_ROW)
                return;
            const std::int64_t now = freePages.Int(0);
            // Files made before incremental vacuuming keep their free pages
            // for later runs: nothing changes, and the loop ends.
            if (now == 0 || now == before)
                return;
            before = now;
            freePages.Reset();
            if (sqlite3_exec(m_db, step.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
                return;
        }
    }

private:
    static void Mark(std::vector<bool>& ids, std::uint32_t id) {
        if (id >= ids.size())
            ids.resize(std::max<std::size_t>(id + 1, ids.size() * 2), false);
        ids[id] = true;
    }

    bool RemoveUnmarked(const char* table, const std::vector<bool>& marked) {
        std::vector<std::int64_t> unmarked;
        {
            Statement s(m_db, text::Format("SELECT id FROM %s", table).c_str());
            while (s.Step() == SQLITE_ROW) {
                const std::int64_t id = s.Int(0);
                if (id < 0 || static_cast<std::size_t>(id) >= marked.size() ||
                    !marked[static_cast<std::size_t>(id)])
                    unmarked.push_back(id);
            }
        }
        Statement remove(m_db, text::Format("DELETE FROM %s WHERE id = ?1", table).c_str());
        for (std::size_t at = 0; at < unmarked.size(); at += kRowsPerStep) {
            if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
                return false;
            for (std::size_t i = at; i < std::min(unmarked.size(), at + kRowsPerStep); ++i) {
                remove.Bind(1, unmarked[i]);
                const int rc = remove.Step();
                remove.Reset();
                if (rc != SQLITE_DONE) {
                    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
                    return false;
                }
            }
            if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
                return false;
        }
        return true;
    }

    sqlite3* m_db;
    LiveRuns& m_live;
};

} // namespace

std::int64_t PruneRunsBefore(const std::string& path, const std::string& date, std::string& error) {
    if (!IsPruneDate(date)) {
        error = text::Format("日期[%s]无效,应为YYYY-MM-DD", date.c_str());
        return -1;
    }
    sqlite3* db = nullptr;
    LiveRuns live;
    auto fail = [&](const std::string& reason) {
        error = text::Format("上传记录文件[%s]无法清理:%s", path.c_str(), reason.c_str());
        sqlite3_close_v2(db);
        return std::int64_t{-1};
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return fail(std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return fail("不是普通文件");
    // Opened before SQLite, closed after it: see LiveRuns.
    if (!live.Open(path))
        return fail(std::strerror(errno));
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return fail(SqliteError(db));
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    std::string reason;
    FileState state = InspectFile(db, reason);
    if (state == FileState::Older)
        state = Migrate(db, reason) ? FileState::Journal : FileState::Damaged;
    if (state == FileState::Empty) {
        sqlite3_close_v2(db);
        return 0;
    }
    if (state != FileState::Journal)
        return fail(reason);

    // Run start times are local times with their offset; the date compares
    // with their first ten characters, so a run of that day stays. A run
    // that has not ended is left alone while a living program writes it.
    std::vector<std::int64_t> doomed;
    {
        Statement s(db, "SELECT id, ended IS NULL FROM run WHERE started < ?1 ORDER BY id");
        s.Bind(1, date);
        int rc;
        while ((rc = s.Step()) == SQLITE_ROW)
            if (s.Int(1) == 0 || !live.IsLive(s.Int(0)))
                doomed.push_back(s.Int(0));
        if (rc != SQLITE_DONE)
            return fail(SqliteError(db));
    }
    Pruner pruner(db, live);
    for (const std::int64_t runId : doomed)
        if (!pruner.RemoveRun(runId))
            return fail(SqliteError(db));
    if (!doomed.empty()) {
        if (!pruner.RemoveUnreferenced())
            return fail(SqliteError(db));
        pruner.GiveBackFreePages();
    }
    sqlite3_close_v2(db);
    db = nullptr;
    return static_cast<std::int64_t>(doomed.size());
}

} // namespace journal
