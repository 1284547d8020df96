#pragma once
// The journal's tables, shared by the writer and the reader. A journal is an
// SQLite file whose application_id is kApplicationId and whose user_version is
// the schema version that wrote it.

#include <sqlite3.h>

#include <string>

namespace journal {

inline constexpr int kApplicationId = 0x514a524e; // "QJRN"
inline constexpr int kSchemaVersion = 1;
inline constexpr int kBusyTimeoutMs = 5000;

// The statements that create version 1, run once on an empty file.
extern const char* const kCreateSchema;

enum class FileState {
    Empty,   // a new or empty database: the writer may create the tables
    Journal, // a journal of a version this build reads and writes
    Foreign, // another program's database, or not a database at all
    Newer,   // a journal written by a newer version
    Damaged, // ours, but SQLite cannot read it
};

// Looks at an open database without changing it. `reason` is filled (UTF-8)
// for every state but Empty and Journal.
FileState InspectFile(sqlite3* db, std::string& reason);

// The last SQLite error of `db` as UTF-8 text.
std::string SqliteError(sqlite3* db);

} // namespace journal
