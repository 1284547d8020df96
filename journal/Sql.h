#pragma once
// A prepared SQLite statement that finalizes itself, with the few binds and
// column reads the journal needs.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace journal {

class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr) !=
            SQLITE_OK) {
            sqlite3_finalize(m_statement);
            m_statement = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(Statement&& other) noexcept : m_statement(other.m_statement) {
        other.m_statement = nullptr;
    }
    Statement& operator=(Statement&& other) noexcept {
        std::swap(m_statement, other.m_statement);
        return *this;
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return m_statement != nullptr; }
    sqlite3_stmt* Get() const { return m_statement; }

    void Bind(int index, std::int64_t value) { sqlite3_bind_int64(m_statement, index, value); }
    void Bind(int index, std::string_view value) {
        sqlite3_bind_text(m_statement, index, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
    }
    // The text must outlive the next Step().
    void BindStatic(int index, std::string_view value) {
        sqlite3_bind_text(m_statement, index, value.data(), static_cast<int>(value.size()),
                          SQLITE_STATIC);
    }

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return m_statement != nullptr ? sqlite3_step(m_statement) : SQLITE_MISUSE; }
    void Reset() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }

    std::int64_t Int(int column) const { return sqlite3_column_int64(m_statement, column); }
    std::string Text(int column) const {
        const auto* data = sqlite3_column_text(m_statement, column);
        const int size = sqlite3_column_bytes(m_statement, column);
        return data != nullptr ? std::string(reinterpret_cast<const char*>(data),
                                             static_cast<std::size_t>(size))
                               : std::string();
    }

private:
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace journal
