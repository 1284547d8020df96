#pragma once
// The settlement system's memory of accepted accounts, in SQLite (a file or
// ":memory:"): reserve accounts keyed by account number, bank accounts keyed
// by bank code and account number, each with the participant that holds it.
// Names are kept as the GBK bytes that arrived. It also counts the sessions
// ever made, for the serial tags. The account tables are kept in key order
// (WITHOUT ROWID), so an account costs one tree instead of a table and an
// index; a file in the earlier layout is converted when it is opened.

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

class SettlementStore {
public:
    enum class Added { kStored, kHeld, kFailed };

    SettlementStore() = default;
    ~SettlementStore();
    SettlementStore(const SettlementStore&) = delete;
    SettlementStore& operator=(const SettlementStore&) = delete;

    bool Open(const std::string& path, std::string& error);

    // Sets `participant` to the holder of the account, "" when none. False on a
    // store failure.
    bool ReserveHolder(std::string_view accountNo, std::string& participant);
    bool BankHolder(std::string_view bankCode, std::string_view accountNo,
                    std::string& participant);

    bool Begin();
    bool Commit();
    void Rollback();
    // kHeld: the account is there already and nothing was added; kFailed: a
    // store failure (LastError says which).
    Added AddReserve(std::string_view participant, std::string_view accountNo,
                     std::string_view name);
    Added AddBank(std::string_view participant, std::string_view bankCode,
                  std::string_view accountNo, std::string_view fullName, std::string_view bankName);

    // The next number of a session, counted up in the store itself so that a
    // restarted gateway never hands out the same serial tag again.
    bool NextSessionNumber(std::uint64_t& number);

    long long CountReserve();
    long long CountBank();

    const std::string& LastError() const { return m_error; }

private:
    bool Exec(const char* sql);
    bool ConvertEarlierLayout();
    Added Add(sqlite3_stmt* statement);
    sqlite3_stmt* Prepare(const char* sql);
    bool Holder(sqlite3_stmt* statement, std::string& participant);
    long long Count(const char* sql);
    bool Fail();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_reserveHolder = nullptr;
    sqlite3_stmt* m_bankHolder = nullptr;
    sqlite3_stmt* m_addReserve = nullptr;
    sqlite3_stmt* m_addBank = nullptr;
    sqlite3_stmt* m_nextSession = nullptr;
    std::string m_error;
};
