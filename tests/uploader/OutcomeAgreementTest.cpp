// Generated runs of every mode against a scripted gateway that keeps its own
// store: whatever the gateway answers (codes of every shape, refused requests,
// replies cut short or lost), the run's message, its journal entry, the list's
// code cells and the session's row outcomes agree with each other and with
// what the gateway stored, and the next "upload new" sends exactly what the
// gateway may not hold.

#include "journal/JournalReader.h"
#include "journal/JournalWriter.h"
#include "tests/journal/JournalFiles.h"
#include "tests/uploader/UploadFixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <set>

namespace {

using upload::RowKind;
using upload::RowOutcome;

constexpr int kRunsPerMode = 1000;

// A result code as the gateway means it: whether it stored the record.
struct GatewayCode {
    std::string bytes;
    bool stores;
};

const std::vector<GatewayCode>& StoringCodes() {
    using namespace std::string_literals;
    static const std::vector<GatewayCode> codes = {
        {"0000", true}, {"0", true}, {" 0  ", true}, {"00\t ", true}, {"0\0\x31 "s, true}};
    return codes;
}

const std::vector<GatewayCode>& RefusingCodes() {
    using namespace std::string_literals;
    static const std::vector<GatewayCode> codes = {{"9715", false},
                                                   {"9999", false},
                                                   {"+0  ", false},
                                                   {"-0  ", false},
                                                   {"0A  ", false},
                                                   {"    ", false},
                                                   {"\0\0"
                                                    "0\0"s,
                                                    false},
                                                   {"\0\0\0\0"s, false}};
    return codes;
}

// Keeps what it holds, answers every request as a settlement system would
// (a request with a held or duplicate record is refused whole and stores
// nothing; its new records come back 9701, or now and then with the code
// they would have had), and now and then refuses a request in its header,
// loses the reply before or after storing, or cuts the reply short. A
// request sent again as it was (no new packet header) is answered from its
// record when it was processed, as the real gateway does.
class StoringGateway : public ScriptedCommunication {
public:
    std::set<std::string> held;          // accounts it holds
    std::set<std::string> storedThisRun; // accounts stored since BeginRun
    bool faults = true;

    explicit StoringGateway(unsigned seed) : m_random(seed) {
        onSend = [this] { Answer(); };
    }
    void BeginRun() { storedThisRun.clear(); }

    static std::string Key(const std::string& record) {
        const std::string reserve = WireField(record, 138, 25);
        return reserve.empty() ? "B" + WireField(record, 249, 28) : "R" + reserve;
    }

private:
    bool Chance(double p) { return std::uniform_real_distribution<>(0, 1)(m_random) < p; }
    template <class T> const T& Pick(const std::vector<T>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(m_random)];
    }

    void Answer() {
        sendResult = 0;
        const std::string body = sentRequests.back();
        const bool sentAgain = sentBodies.size() == m_bodiesSeen;
        m_bodiesSeen = sentBodies.size();
        if (sentAgain) {
            if (const auto record = m_record.find(body); record != m_record.end()) {
                responses.push_back(record->second);
                return;
            }
        }
        std::vector<std::string> keys;
        for (std::size_t at = 0; at + kRequestWireLength <= body.size(); at += kRequestWireLength)
            keys.push_back(Key(body.substr(at, kRequestWireLength)));

        if (faults && Chance(0.04)) { // refused in the header: nothing stored
            responses.push_back(Refusal("2001", "session ended"));
            return;
        }
        if (faults && Chance(0.04)) { // lost before the gateway saw it
            sendResult = -1;
            failureText = "等待网关应答超时(10000毫秒)";
            return;
        }
        std::vector<GatewayCode> codes;
        bool refusedWhole = false;
        for (const std::string& key : keys) {
            if (held.count(key) != 0) {
                codes.push_back({Chance(0.5) ? "9720" : "9721", false});
                refusedWhole = true;
            } else if (Chance(0.03)) {
                codes.push_back({Chance(0.5) ? "9706" : "9709", false});
                refusedWhole = true;
            } else {
                codes.push_back(Chance(0.75) ? Pick(StoringCodes()) : Pick(RefusingCodes()));
            }
        }
        ResponseScript script;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            GatewayCode code = codes[i];
            if (refusedWhole && code.stores) {
                if (Chance(0.8))
                    code.bytes = "9701";
                code.stores = false;
            }
            if (code.stores) {
                held.insert(keys[i]);
                storedThisRun.insert(keys[i]);
            }
            script.resultCodes.push_back(code.bytes);
            script.resultTexts.push_back("T");
        }
        m_record[body] = BuildResponse(script);
        if (faults && Chance(0.04)) { // stored, but the reply never came
            sendResult = -1;
            failureText = "等待网关应答超时(10000毫秒)";
            return;
        }
        if (faults && !script.resultCodes.empty() && Chance(0.04))
            script.resultCodes.pop_back(); // stored, but the reply is one short
        responses.push_back(BuildResponse(script));
    }

    std::mt19937 m_random;
    std::size_t m_bodiesSeen = 0;
    std::map<std::string, std::string> m_record; // the reply of each processed request
};

// The counts a run's message gives, per kind: stored, held (upload new
// only) and failed. False when the message carries no counts.
struct MessageCounts {
    std::int64_t stored[2] = {0, 0};
    std::int64_t held[2] = {0, 0};
    std::int64_t failed[2] = {0, 0};
};

bool ReadMessage(const std::string& message, std::int64_t reserves, std::int64_t banks,
                 MessageCounts& counts) {
    int n[6] = {};
    if (message == "上传数据成功!") {
        counts = {{reserves, banks}, {0, 0}, {0, 0}};
        return true;
    }
    if (message.rfind("上传失败,失败原因:服务器存在重复记录", 0) == 0) {
        counts = {{0, 0}, {0, 0}, {reserves, banks}};
        return true;
    }
    if (std::sscanf(message.c_str(),
                    "上传A股备付金成功%d条,失败%d条;\n上传银行账户成功%d条,失败%d条;", &n[0], &n[1],
                    &n[2], &n[3]) == 4) {
        counts = {{n[0], n[2]}, {0, 0}, {n[1], n[3]}};
        return true;
    }
    if (std::sscanf(message.c_str(),
                    "上传A股备付金:新增%d条,已存在%d条,失败%d条;\n上传银行账户:新增%d条,已存在%d条,"
                    "失败%d条;",
                    &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]) == 6) {
        counts = {{n[0], n[3]}, {n[1], n[4]}, {n[2], n[5]}};
        return true;
    }
    return false;
}

// The code cells showing a success, counted by the cell text alone.
std::int64_t SuccessCells(const RecordingReportList& list) {
    static const std::regex zeros("0+");
    std::int64_t count = 0;
    for (int row = 0; row < list.GetItemCount(); ++row)
        count += std::regex_match(list.Cell(row, 1), zeros) ? 1 : 0;
    return count;
}

struct Mode {
    const char* name;
    int (CAccountUploader::*upload)();
};

void PrintTo(const Mode& mode, std::ostream* out) {
    *out << mode.name;
}

class OutcomeAgreementTest : public UploadFixture, public ::testing::WithParamInterface<Mode> {};

TEST_P(OutcomeAgreementTest, MessageJournalCellsAndOutcomesAgreeWithTheGateway) {
    const Mode mode = GetParam();
    JournalDir journalDir;
    journal::JournalWriter writer(journalDir.File());
    std::string error;
    std::unique_ptr<journal::JournalReader> reader;

    for (int run = 0; run < kRunsPerMode; ++run) {
        SCOPED_TRACE(std::string(mode.name) + " run " + std::to_string(run));
        std::mt19937 random(static_cast<unsigned>(run * 7919 + 17));
        const int reserves = std::uniform_int_distribution<>(0, 8)(random);
        const int banks = std::uniform_int_distribution<>(reserves == 0 ? 1 : 0, 8)(random);
        WriteAccounts(reserves, banks, std::to_string(run) + "-");

        StoringGateway gateway(static_cast<unsigned>(run));
        ScopedCommunication installed(&gateway);
        RecordingMainWindow shown;
        RecordingReportList bank{7};
        RecordingReportList reserve{5};
        CAccountUploader session(&bank, &reserve, &shown);
        session.Runs().SetObserver(&writer);
        ASSERT_EQ(session.Load(), 1) << session.LastError();

        std::vector<std::string> keys;
        for (const auto& r : session.ReserveAccountsA())
            keys.push_back("R" + std::string(text::TrimGbk(text::FieldText(r.ReserveAccountNo))));
        for (const auto& b : session.BankAccounts())
            keys.push_back("B" + std::string(text::TrimGbk(text::FieldText(b.BankAccountNo))));
        std::set<std::string> heldBefore;
        for (const std::string& key : keys)
            if (std::bernoulli_distribution(0.3)(random))
                heldBefore.insert(key);
        gateway.held = heldBefore;
        gateway.BeginRun();

        (session.*mode.upload)();
        writer.Sync();
        if (!reader)
            reader = journal::JournalReader::Open(journalDir.File(), error);
        ASSERT_TRUE(reader) << error;
        const journal::RunInfo info = reader->Runs().at(0);
        const journal::KindCounts* counted[2] = {&info.reserve, &info.bank};

        // The journal against the gateway: nothing counted as stored that was
        // not, and everything stored counted, unless its reply was lost.
        std::int64_t gatewayStored[2] = {0, 0};
        for (const std::string& key : gateway.storedThisRun)
            ++gatewayStored[key[0] == 'R' ? 0 : 1];
        for (int k = 0; k < 2; ++k) {
            EXPECT_LE(counted[k]->stored, gatewayStored[k]);
            if (counted[k]->unknown == 0) {
                EXPECT_EQ(counted[k]->stored, gatewayStored[k]) << "kind " << k;
            }
        }
        for (const journal::Result& r : reader->Results(info.id, {}, 0, 1000)) {
            const std::string key = (r.kind == journal::Kind::Reserve ? "R" : "B") + r.accountNo;
            if (r.final && r.outcome == journal::Outcome::Stored) {
                EXPECT_TRUE(gateway.storedThisRun.count(key)) << key;
            }
            if (r.final && r.outcome == journal::Outcome::Held) {
                EXPECT_TRUE(heldBefore.count(key)) << key;
            }
        }

        // The message, when it gives counts, gives the journal's.
        MessageCounts message;
        const std::string last = shown.messages.empty() ? "" : shown.messages.back();
        if (ReadMessage(last, reserves, banks, message)) {
            for (int k = 0; k < 2; ++k) {
                EXPECT_EQ(message.stored[k], counted[k]->stored) << last;
                EXPECT_EQ(message.held[k],
                          mode.upload == &CAccountUploader::UploadNew ? counted[k]->held : 0)
                    << last;
                EXPECT_EQ(message.failed[k], counted[k]->failed) << last;
            }
        }

        // The cells and the session's outcomes say the same.
        EXPECT_EQ(SuccessCells(reserve), counted[0]->stored);
        EXPECT_EQ(SuccessCells(bank), counted[1]->stored);
        EXPECT_EQ(session.Runs().Outcomes().Count(RowKind::Reserve, RowOutcome::Stored),
                  static_cast<std::size_t>(counted[0]->stored));
        EXPECT_EQ(session.Runs().Outcomes().Count(RowKind::Bank, RowOutcome::Stored),
                  static_cast<std::size_t>(counted[1]->stored));

        // "history --failed" lists exactly the failures the run counts.
        journal::ResultFilter failedOnly;
        failedOnly.failedOnly = true;
        const auto failed = reader->Results(info.id, failedOnly, 0, 1000);
        EXPECT_EQ(static_cast<std::int64_t>(failed.size()), info.reserve.failed + info.bank.failed);

        // The next "upload new" sends what the gateway does not hold, and of
        // what it holds only rows this session could not learn about.
        std::vector<RowOutcome> before;
        for (std::size_t i = 0; i < keys.size(); ++i)
            before.push_back(i < session.ReserveAccountsA().size()
                                 ? session.Runs().Outcomes().Get(RowKind::Reserve, i)
                                 : session.Runs().Outcomes().Get(
                                       RowKind::Bank, i - session.ReserveAccountsA().size()));
        const std::set<std::string> heldAfterRun = gateway.held;
        gateway.faults = false;
        gateway.sentBodies.clear();
        gateway.sentRequests.clear();
        session.UploadNew();
        // Every request of the run: the lost ones sent again, then the rounds
        // (whose later requests carry rows of the first).
        std::set<std::string> sent;
        for (const std::string& body : gateway.sentRequests) {
            for (std::size_t at = 0; at + kRequestWireLength <= body.size();
                 at += kRequestWireLength)
                sent.insert(StoringGateway::Key(body.substr(at, kRequestWireLength)));
        }
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const bool heldNow = heldAfterRun.count(keys[i]) != 0;
            if (!heldNow) {
                EXPECT_TRUE(sent.count(keys[i])) << keys[i] << " is not held and was not sent";
            } else if (sent.count(keys[i])) {
                EXPECT_TRUE(before[i] == RowOutcome::Unknown ||
                            before[i] == RowOutcome::NotStored || before[i] == RowOutcome::NotSent)
                    << keys[i]
                    << " was known to be there and was sent again: " << static_cast<int>(before[i])
                    << " " << last;
            }
        }
        writer.Sync();
        const journal::RunInfo next = reader->Runs().at(0);
        MessageCounts nextMessage;
        if (ReadMessage(shown.messages.back(), reserves, banks, nextMessage)) {
            EXPECT_EQ(nextMessage.stored[0] + nextMessage.stored[1],
                      next.reserve.stored + next.bank.stored);
            EXPECT_EQ(nextMessage.failed[0] + nextMessage.failed[1],
                      next.reserve.failed + next.bank.failed);
        }
        if (HasFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMode, OutcomeAgreementTest,
                         ::testing::Values(Mode{"UploadAll", &CAccountUploader::UploadAll},
                                           Mode{"UploadEach", &CAccountUploader::UploadEach},
                                           Mode{"UploadNew", &CAccountUploader::UploadNew}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
