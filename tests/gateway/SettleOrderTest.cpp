// The settlement works through a request in the order of its accounts, not of
// its records: every code still lands on its own record, accounts that share
// their first bytes stay apart, and a held account or a duplicate anywhere
// stores nothing, wherever it stands.

#include "gateway/Settlement.h"
#include "tests/gateway/GatewayFixture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>
#include <vector>

namespace {

struct Account {
    bool bank = false;
    std::string code; // bank code
    std::string number;
};

UploadRequestRecord Request(const Account& a) {
    return a.bank ? BankRequest(a.code, a.number, "户名", "银行")
                  : ReserveRequest(a.number, "户名");
}

struct Case {
    const char* name;
    std::vector<Account> held;    // stored for P0000001 before the request
    std::vector<Account> request; // in record order
    std::vector<int> codes;
    std::size_t stored;
};

Account R(const char* number) {
    return {false, "", number};
}
Account B(const char* code, const char* number) {
    return {true, code, number};
}

CNetworkCommunication& Stamps();

TEST(SettleOrderTest, CodesLandOnTheirOwnRecordsWhateverTheOrderOfTheAccounts) {
    const std::vector<Case> cases = {
        {"reverse order, all new", {}, {R("9"), R("8"), R("10"), R("1")}, {0, 0, 0, 0}, 4},
        {"first bytes shared, lengths apart",
         {},
         {R("123456789"), R("12345678"), R("1234567890123"), R("1234567"), R("123456780")},
         {0, 0, 0, 0, 0},
         5},
        {"same number as reserve and as bank",
         {},
         {B("0102", "77"), R("77"), B("0103", "77")},
         {0, 0, 0},
         3},
        {"the same account twice, far apart, with the first the later key",
         {},
         {R("55555555555"), R("1"), R("55555555555"), R("99")},
         {9706, 9701, 9706, 9701},
         0},
        {"a bank account twice beside a held one",
         {B("0102", "A1")},
         {B("0102", "A2"), B("0102", "A1"), B("0102", "A2")},
         {9706, 9721, 9706},
         0},
        {"a held account last stores none of the new ones before it",
         {R("00000000009")},
         {R("1"), R("2"), R("00000000009")},
         {9701, 9701, 9720},
         0},
        {"a held account first in key order, last in the request",
         {R("0")},
         {R("Z"), R("Y"), R("0")},
         {9701, 9701, 9720},
         0},
    };

    CNetworkCommunication& stamps = Stamps();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettlementStore store;
        std::string error;
        ASSERT_TRUE(store.Open(":memory:", error)) << error;
        ASSERT_TRUE(store.Begin());
        for (const Account& a : c.held)
            ASSERT_EQ(a.bank ? store.AddBank("P0000001", a.code, a.number, "x", "")
                             : store.AddReserve("P0000001", a.number, "x"),
                      SettlementStore::Added::kStored);
        ASSERT_TRUE(store.Commit());
        const long long before = store.CountReserve() + store.CountBank();

        std::vector<UploadRequestRecord> records;
        for (const Account& a : c.request)
            records.push_back(Request(a));
        const SettlementOutcome outcome =
            Settle(store, WireBody(records, stamps), "P0000001", "GW000001");
        ASSERT_FALSE(outcome.storeFailed) << outcome.storeError;
        EXPECT_EQ(std::vector<int>(outcome.codes.begin(), outcome.codes.end()), c.codes);
        EXPECT_EQ(outcome.stored, c.stored);
        EXPECT_EQ(store.CountReserve() + store.CountBank(),
                  before + static_cast<long long>(c.stored));

        // The same request again finds every account it stored.
        if (c.stored == c.request.size() && !c.request.empty()) {
            const SettlementOutcome again =
                Settle(store, WireBody(records, stamps), "P0000001", "GW000001");
            for (std::size_t i = 0; i < again.codes.size(); ++i)
                EXPECT_EQ(again.codes[i], c.request[i].bank ? 9721 : 9720) << "record " << i + 1;
            EXPECT_EQ(again.stored, 0u);
        }
    }
}

// A store that refuses one account, by a trigger written beside the store.
struct RefusingStore {
    explicit RefusingStore(const char* refused) {
        EXPECT_TRUE(dir.isValid());
        const std::string path = dir.path().toStdString() + "/store.db";
        std::string error;
        EXPECT_TRUE(store.Open(path, error)) << error;
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        const std::string trigger =
            std::string("CREATE TRIGGER refuse BEFORE INSERT ON reserve_accounts "
                        "WHEN NEW.account_no = CAST('") +
            refused + "' AS BLOB) BEGIN SELECT RAISE(ABORT, 'disk says no'); END";
        EXPECT_EQ(sqlite3_exec(db, trigger.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    QTemporaryDir dir;
    SettlementStore store;
};

CNetworkCommunication& Stamps() {
    static CNetworkCommunication stamps; // only the two strings a login hands out
    stamps.CommString1 = "P0000001";
    stamps.CommString2 = "GW000001";
    return stamps;
}

TEST(SettleOrderTest, AStoreFailureNamesItsRecordAndStoresNothing) {
    RefusingStore refusing("B2");
    const SettlementOutcome outcome =
        Settle(refusing.store,
               WireBody({ReserveRequest("C3", "户名"), ReserveRequest("B2", "户名"),
                         ReserveRequest("A1", "户名")},
                        Stamps()),
               "P0000001", "GW000001");
    EXPECT_TRUE(outcome.storeFailed);
    EXPECT_NE(outcome.storeError.find("record 2 (reserve B2)"), std::string::npos)
        << outcome.storeError;
    EXPECT_NE(outcome.storeError.find("disk says no"), std::string::npos) << outcome.storeError;
    EXPECT_EQ(outcome.stored, 0u);
    EXPECT_EQ(refusing.store.CountReserve(), 0);
}

// A store failure on one account and a held account after it in key order:
// the request is answered with the codes, as when every account was looked up
// before any was inserted.
TEST(SettleOrderTest, AHeldAccountAnswersARequestWhoseInsertionFailedBeforeIt) {
    RefusingStore refusing("A1");
    ASSERT_TRUE(refusing.store.Begin());
    ASSERT_EQ(refusing.store.AddReserve("P0000002", "Z9", "x"), SettlementStore::Added::kStored);
    ASSERT_TRUE(refusing.store.Commit());
    const SettlementOutcome outcome =
        Settle(refusing.store,
               WireBody({ReserveRequest("Z9", "户名"), ReserveRequest("A1", "户名"),
                         ReserveRequest("M5", "户名")},
                        Stamps()),
               "P0000001", "GW000001");
    EXPECT_FALSE(outcome.storeFailed) << outcome.storeError;
    EXPECT_EQ(std::vector<int>(outcome.codes.begin(), outcome.codes.end()),
              (std::vector<int>{9709, 9701, 9701}));
    EXPECT_EQ(refusing.store.CountReserve(), 1);
}

} // namespace
