#include "gateway/SettlementStore.h"

#include "gateway/StoreFiles.h"

#include <sqlite3.h>

namespace {

// Bound without a copy: every value outlives the step that uses it. An empty
// value may come without any bytes behind it, and SQLite would take a null
// pointer for NULL rather than for an empty value.
void Bind(sqlite3_stmt* statement, int index, std::string_view value) {
    static constexpr char kEmpty = '\0';
    sqlite3_bind_blob(statement, index, value.empty() ? &kEmpty : value.data(),
                      static_cast<int>(value.size()), nullptr);
}

// The page cache a file store may fill (in KiB): room for the pages a full
// request touches, so a request of a million accounts in no order neither
// writes pages out to the log before its commit nor reads them back.
constexpr const char* kCacheSize = "PRAGMA cache_size=-262144;";

constexpr const char* kReserveTable = R"(
CREATE TABLE IF NOT EXISTS reserve_accounts (
    account_no  BLOB PRIMARY KEY,
    participant BLOB NOT NULL,
    name        BLOB NOT NULL
) WITHOUT ROWID;
)";
constexpr const char* kBankTable = R"(
CREATE TABLE IF NOT EXISTS bank_accounts (
    bank_code   BLOB NOT NULL,
    account_no  BLOB NOT NULL,
    participant BLOB NOT NULL,
    full_name   BLOB NOT NULL,
    bank_name   BLOB NOT NULL,
    PRIMARY KEY (bank_code, account_no)
) WITHOUT ROWID;
)";
constexpr const char* kCounterTable = R"(
CREATE TABLE IF NOT EXISTS counters (
    name  TEXT PRIMARY KEY,
    value INTEGER NOT NULL
);
)";

// The account tables of the earlier layout (a row number beside the key) are
// set aside, made again in the current layout, filled from the old ones in
// key order, and dropped, all in one transaction.
constexpr const char* kSetAside = R"(
ALTER TABLE reserve_accounts RENAME TO reserve_accounts_rowid;
ALTER TABLE bank_accounts RENAME TO bank_accounts_rowid;
)";
constexpr const char* kRefill = R"(
INSERT INTO reserve_accounts (account_no, participant, name)
    SELECT account_no, participant, name FROM reserve_accounts_rowid ORDER BY account_no;
INSERT INTO bank_accounts (bank_code, account_no, participant, full_name, bank_name)
    SELECT bank_code, account_no, participant, full_name, bank_name FROM bank_accounts_rowid
    ORDER BY bank_code, account_no;
DROP TABLE reserve_accounts_rowid;
DROP TABLE bank_accounts_rowid;
)";

} // namespace

SettlementStore::~SettlementStore() {
    for (sqlite3_stmt* statement :
         {m_reserveHolder, m_bankHolder, m_addReserve, m_addBank, m_nextSession})
        sqlite3_finalize(statement);
    sqlite3_close(m_db);
}

bool SettlementStore::Fail() {
    m_error = m_db ? sqlite3_errmsg(m_db) : "store not open";
    return false;
}

bool SettlementStore::Exec(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK || Fail();
}

sqlite3_stmt* SettlementStore::Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
        Fail();
    return statement;
}

bool SettlementStore::Open(const std::string& path, std::string& error) {
    if (!PrepareStoreFiles(path, error))
        return false;
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        Fail();
        error = "cannot open store " + path + ": " + m_error;
        return false;
    }
    sqlite3_busy_timeout(m_db, 5000);
    sqlite3_extended_result_codes(m_db, 1);
    const bool ready =
        (path == ":memory:" || Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;")) &&
        Exec(kCacheSize) && ConvertEarlierLayout() && Exec(kReserveTable) && Exec(kBankTable) &&
        Exec(kCounterTable) &&
        (m_reserveHolder =
             Prepare("SELECT participant FROM reserve_accounts WHERE account_no = ?1")) &&
        (m_bankHolder = Prepare(
             "SELECT participant FROM bank_accounts WHERE bank_code = ?1 AND account_no = ?2")) &&
        (m_addReserve = Prepare("INSERT INTO reserve_accounts (participant, account_no, name) "
                                "VALUES (?1, ?2, ?3)")) &&
        (m_addBank = Prepare("INSERT INTO bank_accounts (participant, bank_code, account_no, "
                             "full_name, bank_name) VALUES (?1, ?2, ?3, ?4, ?5)")) &&
        (m_nextSession = Prepare("INSERT INTO counters (name, value) VALUES ('sessions', 1) "
                                 "ON CONFLICT (name) DO UPDATE SET value = value + 1 "
                                 "RETURNING value"));
    if (!ready)
        error = "cannot prepare store " + path + ": " + m_error;
    return ready;
}

// True when there was nothing to convert or the conversion was committed.
bool SettlementStore::ConvertEarlierLayout() {
    // A table kept in key order has no row number to select.
    sqlite3_stmt* probe = nullptr;
    const bool earlier = sqlite3_prepare_v2(m_db, "SELECT rowid FROM reserve_accounts LIMIT 0", -1,
                                            &probe, nullptr) == SQLITE_OK;
    sqlite3_finalize(probe);
    if (!earlier)
        return true;
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    if (!(Exec(kSetAside) && Exec(kReserveTable) && Exec(kBankTable) && Exec(kRefill))) {
        const std::string error = m_error;
        Rollback();
        m_error = "converting the account tables: " + error;
        return false;
    }
    return Commit();
}

bool SettlementStore::Holder(sqlite3_stmt* statement, std::string& participant) {
    participant.clear();
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 0));
        participant.assign(bytes ? bytes : "",
                           static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
    sqlite3_reset(statement);
    return rc == SQLITE_ROW || rc == SQLITE_DONE || Fail();
}

bool SettlementStore::ReserveHolder(std::string_view accountNo, std::string& participant) {
    Bind(m_reserveHolder, 1, accountNo);
    return Holder(m_reserveHolder, participant);
}

bool SettlementStore::BankHolder(std::string_view bankCode, std::string_view accountNo,
                                 std::string& participant) {
    Bind(m_bankHolder, 1, bankCode);
    Bind(m_bankHolder, 2, accountNo);
    return Holder(m_bankHolder, participant);
}

bool SettlementStore::Begin() {
    return Exec("BEGIN IMMEDIATE");
}
bool SettlementStore::Commit() {
    return Exec("COMMIT");
}
void SettlementStore::Rollback() {
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

SettlementStore::Added SettlementStore::Add(sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) {
        sqlite3_reset(statement);
        return Added::kStored;
    }
    // The message belongs to the step; reset would leave only a summary.
    Fail();
    sqlite3_reset(statement);
    return rc == SQLITE_CONSTRAINT_PRIMARYKEY ? Added::kHeld : Added::kFailed;
}

SettlementStore::Added SettlementStore::AddReserve(std::string_view participant,
                                                   std::string_view accountNo,
                                                   std::string_view name) {
    Bind(m_addReserve, 1, participant);
    Bind(m_addReserve, 2, accountNo);
    Bind(m_addReserve, 3, name);
    return Add(m_addReserve);
}

SettlementStore::Added SettlementStore::AddBank(std::string_view participant,
                                                std::string_view bankCode,
                                                std::string_view accountNo,
                                                std::string_view fullName,
                                                std::string_view bankName) {
    Bind(m_addBank, 1, participant);
    Bind(m_addBank, 2, bankCode);
    Bind(m_addBank, 3, accountNo);
    Bind(m_addBank, 4, fullName);
    Bind(m_addBank, 5, bankName);
    return Add(m_addBank);
}

bool SettlementStore::NextSessionNumber(std::uint64_t& number) {
    const int rc = sqlite3_step(m_nextSession);
    const long long value = rc == SQLITE_ROW ? sqlite3_column_int64(m_nextSession, 0) : 0;
    // The statement is finished only once it has run to its end.
    const int done = rc == SQLITE_ROW ? sqlite3_step(m_nextSession) : rc;
    sqlite3_reset(m_nextSession);
    if (done != SQLITE_DONE || value < 1)
        return Fail();
    number = static_cast<std::uint64_t>(value);
    return true;
}

long long SettlementStore::Count(const char* sql) {
    sqlite3_stmt* statement = Prepare(sql);
    long long count = -1;
    if (statement && sqlite3_step(statement) == SQLITE_ROW)
        count = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return count;
}

long long SettlementStore::CountReserve() {
    return Count("SELECT COUNT(*) FROM reserve_accounts");
}
long long SettlementStore::CountBank() {
    return Count("SELECT COUNT(*) FROM bank_accounts");
}
