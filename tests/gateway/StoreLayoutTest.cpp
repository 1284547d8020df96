// A store file written in the earlier layout (account tables with a row number
// beside the key) opens with its accounts and its session count intact, in
// the layout kept in key order; a file that cannot be converted is refused
// with a message that says so.

#include "gateway/SettlementStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>

namespace {

constexpr const char* kEarlierLayout = R"(
CREATE TABLE reserve_accounts (
    account_no  BLOB PRIMARY KEY,
    participant BLOB NOT NULL,
    name        BLOB NOT NULL
);
CREATE TABLE bank_accounts (
    bank_code   BLOB NOT NULL,
    account_no  BLOB NOT NULL,
    participant BLOB NOT NULL,
    full_name   BLOB NOT NULL,
    bank_name   BLOB NOT NULL,
    PRIMARY KEY (bank_code, account_no)
);
CREATE TABLE counters (
    name  TEXT PRIMARY KEY,
    value INTEGER NOT NULL
);
INSERT INTO reserve_accounts VALUES (CAST('B1' AS BLOB), CAST('P1' AS BLOB), X'C9CFBAA3');
INSERT INTO reserve_accounts VALUES (CAST('B2' AS BLOB), CAST('P2' AS BLOB), CAST('y' AS BLOB));
INSERT INTO bank_accounts VALUES (CAST('0102' AS BLOB), CAST('A1' AS BLOB), CAST('P1' AS BLOB),
                                  CAST('x' AS BLOB), CAST('' AS BLOB));
INSERT INTO counters VALUES ('sessions', 41);
)";

bool WriteFile(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// The CREATE statement SQLite keeps for `table`.
std::string TableSql(const std::string& path, const char* table) {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    std::string sql;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name = ?1", -1, &statement,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, table, -1, SQLITE_STATIC);
        if (sqlite3_step(statement) == SQLITE_ROW)
            sql = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return sql;
}

TEST(StoreLayoutTest, AStoreOfTheEarlierLayoutIsConvertedWithItsAccountsAndSessionCount) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.path().toStdString() + "/store.db";
    ASSERT_TRUE(WriteFile(path, kEarlierLayout));
    ASSERT_EQ(TableSql(path, "reserve_accounts").find("WITHOUT ROWID"), std::string::npos);

    {
        SettlementStore store;
        std::string error;
        ASSERT_TRUE(store.Open(path, error)) << error;
        EXPECT_EQ(store.CountReserve(), 2);
        EXPECT_EQ(store.CountBank(), 1);
        std::string holder;
        ASSERT_TRUE(store.ReserveHolder("B2", holder));
        EXPECT_EQ(holder, "P2");
        ASSERT_TRUE(store.BankHolder("0102", "A1", holder));
        EXPECT_EQ(holder, "P1");
        // A restarted gateway never hands out a session number again.
        std::uint64_t number = 0;
        ASSERT_TRUE(store.NextSessionNumber(number));
        EXPECT_EQ(number, 42u);
        ASSERT_TRUE(store.Begin());
        EXPECT_EQ(store.AddReserve("P3", "B1", "z"), SettlementStore::Added::kHeld);
        EXPECT_EQ(store.AddBank("P3", "0102", "A1", "z", ""), SettlementStore::Added::kHeld);
        EXPECT_EQ(store.AddReserve("P3", "B3", "z"), SettlementStore::Added::kStored);
        ASSERT_TRUE(store.Commit());
    }
    EXPECT_NE(TableSql(path, "reserve_accounts").find("WITHOUT ROWID"), std::string::npos);
    EXPECT_NE(TableSql(path, "bank_accounts").find("WITHOUT ROWID"), std::string::npos);
    EXPECT_EQ(TableSql(path, "reserve_accounts_rowid"), "");

    // Opened again: nothing left to convert, everything still there.
    SettlementStore again;
    std::string error;
    ASSERT_TRUE(again.Open(path, error)) << error;
    EXPECT_EQ(again.CountReserve(), 3);
    std::uint64_t number = 0;
    ASSERT_TRUE(again.NextSessionNumber(number));
    EXPECT_EQ(number, 43u);
}

TEST(StoreLayoutTest, AStoreThatCannotBeConvertedIsRefusedSayingWhy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.path().toStdString() + "/store.db";
    // The earlier layout, but a table in the way of the conversion.
    ASSERT_TRUE(WriteFile(path, kEarlierLayout));
    ASSERT_TRUE(WriteFile(path, "CREATE TABLE reserve_accounts_rowid (x);"));
    SettlementStore store;
    std::string error;
    EXPECT_FALSE(store.Open(path, error));
    EXPECT_NE(error.find("converting the account tables"), std::string::npos) << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;

    // Nothing of the file was changed.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM reserve_accounts", -1, &statement, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(statement, 0), 2);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    EXPECT_EQ(TableSql(path, "reserve_accounts").find("WITHOUT ROWID"), std::string::npos);
}

} // namespace
