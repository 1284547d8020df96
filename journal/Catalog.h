#pragma once
// The accounts and reply texts a journal holds, each once. The writer asks
// for the id of an account as a request record carries it (GBK fields) and
// gets the id of the row that holds it, made when it is new. Ids are looked
// up in memory by a 64-bit digest of the record's kind and GBK texts, made
// from the file's accounts when it is opened (about a second per million)
// and caught up at the start of each run with what other programs added
// meanwhile. The digest is not stored: eight bytes an account is a tenth of
// the file.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "journal/Sql.h"

namespace journal {

// The texts of an account, trimmed, as GBK.
struct AccountKey {
    int kind = 1; // 1 reserve, 2 bank
    std::string_view accountNo;
    std::string_view accountName;
    std::string_view bankCode;
    std::string_view bankName;
};

std::uint64_t AccountDigest(const AccountKey& key);

class Catalog {
public:
    // Prepares the statements and loads every id; false on an SQLite error.
    bool Open(sqlite3* db);
    // Loads the ids other programs added since the last call.
    bool CatchUp();
    // Makes room for `more` accounts at once, rather than growing step by
    // step with a copy of the table each time.
    void Reserve(std::size_t more);
    void Close();

    // The id of the account, 0 on an SQLite error.
    std::uint32_t Account(const AccountKey& key);
    // The id of a result code and text (GBK, trimmed), 0 on an SQLite error.
    std::uint32_t Reply(std::string_view code, std::string_view text);
    // The same for texts already in UTF-8, as a journal of an earlier version
    // holds them: looked up by their GBK form, stored as given.
    std::uint32_t AccountUtf8(int kind, std::string_view accountNo, std::string_view accountName,
                              std::string_view bankCode, std::string_view bankName);
    std::uint32_t ReplyUtf8(std::string_view code, std::string_view text);

    // Ids made in a transaction that is rolled back are gone from the file
    // but not from memory: whoever rolls back closes the catalog.

private:
    // Open addressing on the digest; a slot with id 0 is free.
    // Packed to 12 bytes: a million accounts take 24 MB.
    struct __attribute__((packed)) Slot {
        std::uint64_t digest;
        std::uint32_t id;
    };
    std::uint32_t Insert(std::uint64_t digest, int kind, const std::string& accountNo,
                         const std::string& accountName, const std::string& bankCode,
                         const std::string& bankName);
    std::uint32_t InsertReply(std::string key, const std::string& code, const std::string& text);
    std::uint32_t Find(std::uint64_t digest) const;
    void Remember(std::uint64_t digest, std::uint32_t id);
    void Grow(std::size_t atLeast = 0);

    sqlite3* m_db = nullptr;
    std::vector<Slot> m_slots;
    std::size_t m_used = 0;
    std::int64_t m_loadedAccounts = 0; // highest account id loaded from the file
    std::int64_t m_loadedReplies = 0;
    std::unordered_map<std::string, std::uint32_t> m_replies; // code '\0' text
    Statement m_insertAccount, m_insertReply, m_loadAccounts, m_loadReplies;
};

} // namespace journal
