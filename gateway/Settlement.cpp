#include "gateway/Settlement.h"

#include "gateway/RecordCheck.h"
#include "protocol/Codes.h"
#include "protocol/Layouts.h"
#include "protocol/WireFormat.h"

#include <algorithm>
#include <vector>

using namespace protocol::requestrecord;

namespace {

// The first eight bytes of a key as a number that orders as the bytes do
// (missing bytes count as zero), so most comparisons of a sort end without
// reading the records themselves. Keys hold no zero bytes (the record check
// refuses them), so keys of up to eight bytes are equal when these are.
std::uint64_t Leading(std::string_view key) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i)
        value = value << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return value;
}

// A record's account and where it stands in the request. Reserve accounts
// sort before bank accounts, and each kind in the order of its table's key
// (bytes compared unsigned, as SQLite compares blobs).
struct AccountKey {
    std::uint64_t firstLeading = 0;
    std::uint64_t secondLeading = 0;
    std::string_view first;  // the reserve account number, or the bank code
    std::string_view second; // the bank account number
    std::uint32_t position = 0;
    bool bank = false;

    bool SameAccount(const AccountKey& other) const {
        return bank == other.bank && firstLeading == other.firstLeading &&
               secondLeading == other.secondLeading && first == other.first &&
               second == other.second;
    }
    bool operator<(const AccountKey& other) const {
        if (bank != other.bank)
            return !bank;
        if (const int c = Compare(firstLeading, first, other.firstLeading, other.first); c != 0)
            return c < 0;
        if (const int c = Compare(secondLeading, second, other.secondLeading, other.second); c != 0)
            return c < 0;
        return position < other.position;
    }

private:
    static int Compare(std::uint64_t aLeading, std::string_view a, std::uint64_t bLeading,
                       std::string_view b) {
        if (aLeading != bLeading)
            return aLeading < bLeading ? -1 : 1;
        if (a.size() <= 8 && b.size() <= 8)
            return 0;
        return a.compare(b);
    }
};

AccountKey KeyOf(const RequestFields& record, std::size_t position) {
    AccountKey key;
    key.bank = !record.IsReserve();
    key.first = key.bank ? record.field[kBankCode] : record.field[kReserveAccountNo];
    key.second = key.bank ? record.field[kBankAccountNo] : std::string_view();
    key.firstLeading = Leading(key.first);
    key.secondLeading = Leading(key.second);
    key.position = static_cast<std::uint32_t>(position);
    return key;
}

// Which record a store failure hit, for the gateway's log: its position and
// its key, as printable text.
std::string Describe(const AccountKey& key) {
    std::string text =
        key.bank ? std::string(key.first) + "/" + std::string(key.second) : std::string(key.first);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            c = '?';
    return "record " + std::to_string(key.position + 1) + " (" + (key.bank ? "bank " : "reserve ") +
           text + ")";
}

} // namespace

namespace {
// The progress counter moves this many records at a time: often enough for a
// keep-alive, seldom enough to cost nothing.
constexpr std::size_t kProgressStep = 4096;

// Raises `done` to `value` unless it is already past it.
void Advance(std::atomic<std::uint64_t>* done, std::uint64_t value) {
    if (done == nullptr)
        return;
    std::uint64_t seen = done->load(std::memory_order_relaxed);
    while (seen < value && !done->compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}
} // namespace

SettlementOutcome Settle(SettlementStore& store, std::string_view body,
                         std::string_view participant, std::string_view gatewayId,
                         std::atomic<std::uint64_t>* done) {
    const std::size_t count = body.size() / protocol::kRequestRecordLength;
    struct AllDone {
        std::atomic<std::uint64_t>* done;
        std::uint64_t count;
        ~AllDone() { Advance(done, count); }
    } const allDone{done, count};
    SettlementOutcome outcome;
    outcome.codes.assign(count, protocol::result::kStored);
    outcome.badFields.assign(count, 0);
    bool anyDuplicate = false;

    // The well-formed records in the order of their accounts: an account sent
    // twice comes out side by side, and the store is then searched and filled
    // in its own key order, each step near the one before, instead of jumping
    // across the whole table for every record. Records are split again where
    // they are needed rather than kept: a kept copy of a million split records
    // costs more than splitting them twice.
    std::vector<AccountKey> keys;
    keys.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (i % kProgressStep == 0)
            Advance(done, i / 2);
        const RequestFields record =
            SplitRequestRecord(body.data() + i * protocol::kRequestRecordLength);
        const int bad = FirstBadField(record, i, participant, gatewayId);
        if (bad != 0) {
            outcome.codes[i] = protocol::result::kInvalidRecord;
            outcome.badFields[i] = static_cast<std::uint8_t>(bad);
            continue;
        }
        keys.push_back(KeyOf(record, i));
    }
    std::sort(keys.begin(), keys.end());
    // Every occurrence of an account sent twice is marked, the first too.
    for (std::size_t k = 1; k < keys.size(); ++k) {
        if (!keys[k].SameAccount(keys[k - 1]))
            continue;
        outcome.codes[keys[k - 1].position] = protocol::result::kSameAccountTwice;
        outcome.codes[keys[k].position] = protocol::result::kSameAccountTwice;
        anyDuplicate = true;
    }

    // One transaction around the look-ups and the insertions: a file store then
    // takes its lock once per request instead of once per look-up, and nothing
    // comes between a look-up and the insertion it allows.
    if (!store.Begin()) {
        outcome.storeFailed = true;
        outcome.storeError = "begin: " + store.LastError();
        return outcome;
    }
    // While the request may still be stored, each account is inserted at once
    // and the insertion itself finds an account already held: a new account
    // costs one search of its table, not two. Once the request cannot be
    // stored (an account held, a duplicate, a store failure), the rest are only
    // looked up, for their codes, and everything is rolled back at the end.
    bool storing = !anyDuplicate;
    std::string failure; // the first store failure of an insertion
    std::string holder;
    std::size_t step = 0;
    for (const AccountKey& key : keys) {
        if (++step % kProgressStep == 0)
            Advance(done, count / 2 + step / 2);
        const std::size_t i = key.position;
        if (outcome.codes[i] != protocol::result::kStored)
            continue;
        const char* record = body.data() + i * protocol::kRequestRecordLength;
        if (storing) {
            const SettlementStore::Added added =
                key.bank ? store.AddBank(participant, key.first, key.second,
                                         RequestField(record, kAccountFullName),
                                         RequestField(record, kBankFullName))
                         : store.AddReserve(participant, key.first,
                                            RequestField(record, kReserveAccountName));
            if (added == SettlementStore::Added::kStored) {
                ++outcome.stored;
                continue;
            }
            storing = false;
            if (added == SettlementStore::Added::kFailed) {
                // A held account further on still answers the request with
                // its codes, as it would had every account been looked up first.
                failure = Describe(key) + ": " + store.LastError();
                continue;
            }
        }
        const bool found = key.bank ? store.BankHolder(key.first, key.second, holder)
                                    : store.ReserveHolder(key.first, holder);
        if (!found) {
            outcome.storeFailed = true;
            outcome.storeError = Describe(key) + ": " + store.LastError();
            outcome.stored = 0;
            store.Rollback();
            return outcome;
        }
        if (holder.empty())
            continue;
        outcome.codes[i] = holder != participant ? protocol::result::kOtherParticipant
                           : key.bank            ? protocol::result::kBankHeld
                                                 : protocol::result::kReserveHeld;
        anyDuplicate = true;
    }

    if (anyDuplicate) {
        store.Rollback();
        outcome.stored = 0;
        for (std::uint16_t& code : outcome.codes)
            if (code == protocol::result::kStored)
                code = protocol::result::kNotStored;
        return outcome;
    }
    if (failure.empty() && !store.Commit())
        failure = "commit: " + store.LastError();
    if (!failure.empty()) {
        outcome.storeFailed = true;
        outcome.storeError = failure;
        outcome.stored = 0;
        store.Rollback();
    }
    return outcome;
}
