// Removing old runs: the one change to the journal made outside the writer.

#include "journal/JournalWriter.h"
#include "journal/Schema.h"
#include "journal/Sql.h"
#include "support/Text.h"

#include <chrono>

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

std::int64_t PruneRunsBefore(const std::string& path, const std::string& date, std::string& error) {
    if (!IsPruneDate(date)) {
        error = text::Format("日期[%s]无效,应为YYYY-MM-DD", date.c_str());
        return -1;
    }
    sqlite3* db = nullptr;
    auto fail = [&](const std::string& reason) {
        error = text::Format("上传记录文件[%s]无法清理:%s", path.c_str(), reason.c_str());
        sqlite3_close_v2(db);
        return std::int64_t{-1};
    };
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
    // with their first ten characters, so a run of that day stays.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(SqliteError(db));
    const char* const deletes[] = {
        "DELETE FROM result WHERE run_id IN (SELECT id FROM run WHERE started < ?1)",
        "DELETE FROM request WHERE run_id IN (SELECT id FROM run WHERE started < ?1)",
        "DELETE FROM run WHERE started < ?1",
    };
    std::int64_t removed = 0;
    for (const char* sql : deletes) {
        Statement s(db, sql);
        s.Bind(1, date);
        if (s.Step() != SQLITE_DONE) {
            const std::string why = SqliteError(db);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return fail(why);
        }
        removed = sqlite3_changes(db);
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(SqliteError(db));
    // Compacting needs no other writer; when one holds the file, the space
    // is reused by later runs instead.
    if (removed > 0)
        sqlite3_exec(db, "VACUUM", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    return removed;
}

} // namespace journal
