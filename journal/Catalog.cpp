#include "journal/Catalog.h"

#include "support/Text.h"

#include <algorithm>

namespace journal {

namespace {

// FNV-1a over the bytes, then a final mix so that the low bits, which pick
// the slot, depend on every byte.
void Mix(std::uint64_t& hash, std::string_view bytes) {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    // A separator no text holds keeps ("ab", "c") apart from ("a", "bc").
    hash ^= 0x100;
    hash *= 0x100000001b3ULL;
}

std::uint64_t Finish(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

std::string Gbk(const Statement& s, int column) {
    const auto* data = sqlite3_column_text(s.Get(), column);
    return text::Utf8ToGbk(
        std::string_view(data != nullptr ? reinterpret_cast<const char*>(data) : "",
                         static_cast<std::size_t>(sqlite3_column_bytes(s.Get(), column))));
}

std::string ReplyKey(std::string_view code, std::string_view text) {
    std::string key;
    key.reserve(code.size() + text.size() + 1);
    key.append(code).push_back('\0');
    key.append(text);
    return key;
}

} // namespace

std::uint64_t AccountDigest(const AccountKey& key) {
    std::uint64_t hash = 0xcbf29ce484222325ULL ^ static_cast<std::uint64_t>(key.kind);
    for (const std::string_view field :
         {key.accountNo, key.accountName, key.bankCode, key.bankName})
        Mix(hash, field);
    return Finish(hash);
}

bool Catalog::Open(sqlite3* db) {
    Close();
    m_db = db;
    m_insertAccount = Statement(db, "INSERT INTO account (kind, account_no, account_name, "
                                    "bank_code, bank_name) VALUES (?1, ?2, ?3, ?4, ?5)");
    m_insertReply = Statement(db, "INSERT INTO reply (code, text) VALUES (?1, ?2)");
    m_loadAccounts = Statement(db, "SELECT id, kind, account_no, account_name, bank_code, "
                                   "bank_name FROM account WHERE id > ?1 ORDER BY id");
    m_loadReplies = Statement(db, "SELECT id, code, text FROM reply WHERE id > ?1 ORDER BY id");
    if (!m_insertAccount.Ok() || !m_insertReply.Ok() || !m_loadAccounts.Ok() || !m_loadReplies.Ok())
        return false;
    m_slots.assign(1 << 16, Slot{0, 0});
    return CatchUp();
}

bool Catalog::CatchUp() {
    Statement& a = m_loadAccounts;
    a.Bind(1, m_loadedAccounts);
    int rc;
    while ((rc = a.Step()) == SQLITE_ROW) {
        const std::int64_t id = a.Int(0);
        // The digest is of the GBK texts, as request records carry them.
        const std::string gbk[4] = {Gbk(a, 2), Gbk(a, 3), Gbk(a, 4), Gbk(a, 5)};
        const std::uint64_t digest =
            AccountDigest({a.Int(1) == 2 ? 2 : 1, gbk[0], gbk[1], gbk[2], gbk[3]});
        if (id > 0 && id <= UINT32_MAX && Find(digest) == 0)
            Remember(digest, static_cast<std::uint32_t>(id));
        m_loadedAccounts = std::max(m_loadedAccounts, id);
    }
    a.Reset();
    if (rc != SQLITE_DONE)
        return false;
    Statement& r = m_loadReplies;
    r.Bind(1, m_loadedReplies);
    while ((rc = r.Step()) == SQLITE_ROW) {
        const std::int64_t id = r.Int(0);
        // Kept as GBK, the form the writer looks them up in.
        const std::string key = ReplyKey(text::Utf8ToGbk(r.Text(1)), text::Utf8ToGbk(r.Text(2)));
        if (id > 0 && id <= UINT32_MAX)
            m_replies.emplace(key, static_cast<std::uint32_t>(id));
        m_loadedReplies = std::max(m_loadedReplies, id);
    }
    r.Reset();
    return rc == SQLITE_DONE;
}

void Catalog::Close() {
    for (Statement* s : {&m_insertAccount, &m_insertReply, &m_loadAccounts, &m_loadReplies})
        *s = Statement();
    m_db = nullptr;
    m_slots.clear();
    m_used = 0;
    m_loadedAccounts = m_loadedReplies = 0;
    m_replies.clear();
}

std::uint32_t Catalog::Find(std::uint64_t digest) const {
    if (m_slots.empty())
        return 0;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = digest & mask;; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.id == 0)
            return 0;
        if (slot.digest == digest)
            return slot.id;
    }
}

void Catalog::Remember(std::uint64_t digest, std::uint32_t id) {
    if ((m_used + 1) * 2 > m_slots.size())
        Grow();
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = digest & mask;
    while (m_slots[i].id != 0 && m_slots[i].digest != digest)
        i = (i + 1) & mask;
    if (m_slots[i].id == 0)
        ++m_used;
    m_slots[i] = Slot{digest, id};
}

void Catalog::Reserve(std::size_t more) {
    if ((m_used + more) * 2 > m_slots.size())
        Grow(m_used + more);
}

void Catalog::Grow(std::size_t atLeast) {
    std::size_t size = std::max<std::size_t>(m_slots.size() * 2, 1 << 16);
    while (size < atLeast * 2)
        size *= 2;
    std::vector<Slot> old(size, Slot{0, 0});
    old.swap(m_slots);
    m_used = 0;
    for (const Slot& slot : old)
        if (slot.id != 0)
            Remember(slot.digest, slot.id);
}

std::uint32_t Catalog::Account(const AccountKey& key) {
    const std::uint64_t digest = AccountDigest(key);
    if (const std::uint32_t id = Find(digest); id != 0)
        return id;
    return Insert(digest, key.kind, text::GbkToUtf8(key.accountNo),
                  text::GbkToUtf8(key.accountName), text::GbkToUtf8(key.bankCode),
                  text::GbkToUtf8(key.bankName));
}

std::uint32_t Catalog::AccountUtf8(int kind, std::string_view accountNo,
                                   std::string_view accountName, std::string_view bankCode,
                                   std::string_view bankName) {
    const std::string gbk[4] = {text::Utf8ToGbk(accountNo), text::Utf8ToGbk(accountName),
                                text::Utf8ToGbk(bankCode), text::Utf8ToGbk(bankName)};
    const std::uint64_t digest = AccountDigest({kind, gbk[0], gbk[1], gbk[2], gbk[3]});
    if (const std::uint32_t id = Find(digest); id != 0)
        return id;
    return Insert(digest, kind, std::string(accountNo), std::string(accountName),
                  std::string(bankCode), std::string(bankName));
}

std::uint32_t Catalog::Insert(std::uint64_t digest, int kind, const std::string& accountNo,
                              const std::string& accountName, const std::string& bankCode,
                              const std::string& bankName) {
    Statement& s = m_insertAccount;
    s.Bind(1, std::int64_t{kind});
    s.BindStatic(2, accountNo);
    s.BindStatic(3, accountName);
    s.BindStatic(4, bankCode);
    s.BindStatic(5, bankName);
    const int rc = s.Step();
    s.Reset();
    const std::int64_t id = sqlite3_last_insert_rowid(m_db);
    if (rc != SQLITE_DONE || id <= 0 || id > UINT32_MAX)
        return 0;
    Remember(digest, static_cast<std::uint32_t>(id));
    m_loadedAccounts = std::max(m_loadedAccounts, id);
    return static_cast<std::uint32_t>(id);
}

std::uint32_t Catalog::Reply(std::string_view code, std::string_view text) {
    std::string key = ReplyKey(code, text);
    if (const auto found = m_replies.find(key); found != m_replies.end())
        return found->second;
    return InsertReply(std::move(key), text::GbkToUtf8(code), text::GbkToUtf8(text));
}

std::uint32_t Catalog::ReplyUtf8(std::string_view code, std::string_view text) {
    std::string key = ReplyKey(text::Utf8ToGbk(code), text::Utf8ToGbk(text));
    if (const auto found = m_replies.find(key); found != m_replies.end())
        return found->second;
    return InsertReply(std::move(key), std::string(code), std::string(text));
}

std::uint32_t Catalog::InsertReply(std::string key, const std::string& code,
                                   const std::string& text) {
    Statement& s = m_insertReply;
    s.BindStatic(1, code);
    s.BindStatic(2, text);
    const int rc = s.Step();
    s.Reset();
    const std::int64_t id = sqlite3_last_insert_rowid(m_db);
    if (rc != SQLITE_DONE || id <= 0 || id > UINT32_MAX)
        return 0;
    m_replies.emplace(std::move(key), static_cast<std::uint32_t>(id));
    m_loadedReplies = std::max(m_loadedReplies, id);
    return static_cast<std::uint32_t>(id);
}

} // namespace journal
