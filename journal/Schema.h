#pragma once
// The journal's tables, shared by the writer and the reader. A journal is an
// SQLite file whose application_id is kApplicationId and whose user_version is
// the schema version that wrote it.

#include <sqlite3.h>

#include <string>

namespace journal {

inline constexpr int kApplicationId = 0x514a524e; // "QJRN"
inline constexpr int kSchemaVersion = 3;
inline constexpr int kBusyTimeoutMs = 5000;

// The statements that create the current version, run once on an empty file.
extern const char* const kCreateSchema;

enum class FileState {
    Empty,   // a new or empty database: the writer may create the tables
    Journal, // a journal of a version this build reads and writes
    Older,   // a journal of an earlier version: Migrate converts it
    Foreign, // another program's database, or not a database at all
    Newer,   // a journal written by a newer version
    Damaged, // ours, but SQLite cannot read it
};

// Looks at an open database without changing it. `reason` is filled (UTF-8)
// for every state but Empty and Journal.
FileState InspectFile(sqlite3* db, std::string& reason);

// Converts a journal of an earlier version to the current one in place, in
// one transaction: on failure (false, `reason` set) the file is unchanged.
bool Migrate(sqlite3* db, std::string& reason);

// Opens `path` read-write and converts it when it is of an earlier version;
// a journal of the current version is left alone. False with `reason` set.
bool MigrateFile(const std::string& path, std::string& reason);

// The last SQLite error of `db` as UTF-8 text.
std::string SqliteError(sqlite3* db);

} // namespace journal
