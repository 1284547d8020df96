#include "gateway/Settlement.h"

#include "gateway/RecordCheck.h"
#include "gateway/ResultCodes.h"
#include "support/net/WireFormat.h"

#include <unordered_map>

namespace {

bool IsDuplicateCode(std::uint16_t code) {
    return code == result::kSameAccountTwice || code == result::kOtherParticipant ||
           code == result::kReserveHeld || code == result::kBankHeld;
}

std::string Key(const RequestFields& record) {
    std::string key = record.IsReserve() ? "R" : "B";
    if (record.IsReserve()) {
        key += record.field[11];
    } else {
        key += record.field[14];
        key += '\t';
        key += record.field[15];
    }
    return key;
}

// Which record a store failure hit, for the gateway's log: its position and
// its key, as printable text.
std::string Describe(const RequestFields& record, std::size_t position) {
    std::string key = record.IsReserve()
                          ? std::string(record.field[11])
                          : std::string(record.field[14]) + "/" + std::string(record.field[15]);
    for (char& c : key)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            c = '?';
    return "record " + std::to_string(position + 1) + " (" +
           (record.IsReserve() ? "reserve " : "bank ") + key + ")";
}

} // namespace

std::string ResultText(std::uint16_t code, int badField) {
    switch (code) {
    case result::kStored:
        return "上传成功";
    case result::kNotStored:
        return "未入库:同一请求中有重复记录";
    case result::kSameAccountTwice:
        return "同一请求中账户重复";
    case result::kOtherParticipant:
        return "账户已登记在其他参与人名下";
    case result::kInvalidRecord:
        return "记录无效:第" + std::to_string(badField) + "字段错误";
    case result::kReserveHeld:
        return "备付金账户已存在";
    case result::kBankHeld:
        return "银行账户已存在";
    default:
        return "";
    }
}

SettlementOutcome Settle(SettlementStore& store, std::string_view body,
                         std::string_view participant, std::string_view gatewayId) {
    const std::size_t count = body.size() / wire::kRequestRecordLength;
    SettlementOutcome outcome;
    outcome.codes.assign(count, result::kStored);
    outcome.badFields.assign(count, 0);
    std::vector<RequestFields> records(count);
    std::unordered_map<std::string, std::size_t> firstSeen;
    firstSeen.reserve(count);

    for (std::size_t i = 0; i < count; ++i) {
        records[i] = SplitRequestRecord(body.data() + i * wire::kRequestRecordLength);
        const int bad = FirstBadField(records[i], i, participant, gatewayId);
        if (bad != 0) {
            outcome.codes[i] = result::kInvalidRecord;
            outcome.badFields[i] = static_cast<std::uint8_t>(bad);
            continue;
        }
        // Every occurrence of an account sent twice is marked, the first too.
        const auto [it, fresh] = firstSeen.emplace(Key(records[i]), i);
        if (!fresh) {
            outcome.codes[it->second] = result::kSameAccountTwice;
            outcome.codes[i] = result::kSameAccountTwice;
        }
    }

    // One transaction around the look-ups and the insertions: a file store then
    // takes its lock once per request instead of once per look-up, and nothing
    // comes between a look-up and the insertion it allows.
    if (!store.Begin()) {
        outcome.storeFailed = true;
        outcome.storeError = "begin: " + store.LastError();
        return outcome;
    }
    bool anyDuplicate = false;
    std::string holder;
    for (std::size_t i = 0; i < count; ++i) {
        if (outcome.codes[i] != result::kStored) {
            anyDuplicate = anyDuplicate || IsDuplicateCode(outcome.codes[i]);
            continue;
        }
        const RequestFields& r = records[i];
        const bool found = r.IsReserve() ? store.ReserveHolder(r.field[11], holder)
                                         : store.BankHolder(r.field[14], r.field[15], holder);
        if (!found) {
            outcome.storeFailed = true;
            outcome.storeError = Describe(r, i) + ": " + store.LastError();
            store.Rollback();
            return outcome;
        }
        if (holder.empty())
            continue;
        outcome.codes[i] = holder != participant ? result::kOtherParticipant
                           : r.IsReserve()       ? result::kReserveHeld
                                                 : result::kBankHeld;
        anyDuplicate = true;
    }

    if (anyDuplicate) {
        store.Rollback();
        for (std::uint16_t& code : outcome.codes)
            if (code == result::kStored)
                code = result::kNotStored;
        return outcome;
    }

    bool ok = true;
    std::string where = "commit";
    for (std::size_t i = 0; ok && i < count; ++i) {
        if (outcome.codes[i] != result::kStored)
            continue;
        const RequestFields& r = records[i];
        ok = r.IsReserve()
                 ? store.AddReserve(participant, r.field[11], r.field[12])
                 : store.AddBank(participant, r.field[14], r.field[15], r.field[16], r.field[17]);
        outcome.stored += ok ? 1 : 0;
        if (!ok)
            where = Describe(r, i);
    }
    if (ok)
        ok = store.Commit();
    if (!ok) {
        outcome.storeFailed = true;
        outcome.storeError = where + ": " + store.LastError();
        outcome.stored = 0;
        store.Rollback();
    }
    return outcome;
}
