// The simulator's parts on their own: lockout with an injected clock, the
// operators file, the command line.

#include "gateway/GatewayOptions.h"
#include "gateway/LoginGuard.h"
#include "gateway/OperatorFile.h"
#include "gateway/SettlementStore.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(LoginGuardTest, FiveFailuresLockUntilTheLockoutRunsOut) {
    auto now = std::chrono::steady_clock::time_point{};
    LoginGuard guard(5, 60s, [&] { return now; });
    for (int i = 0; i < 4; ++i)
        guard.RecordFailure("alice");
    EXPECT_FALSE(guard.IsLocked("alice"));
    guard.RecordFailure("alice");
    EXPECT_TRUE(guard.IsLocked("alice"));
    EXPECT_FALSE(guard.IsLocked("bob"));
    now += 59s;
    EXPECT_TRUE(guard.IsLocked("alice"));
    now += 2s;
    EXPECT_FALSE(guard.IsLocked("alice"));
    // A fresh count after the lock: one failure does not lock again.
    guard.RecordFailure("alice");
    EXPECT_FALSE(guard.IsLocked("alice"));
}

TEST(LoginGuardTest, ASuccessClearsTheCount) {
    LoginGuard guard(5, 60s, nullptr);
    for (int i = 0; i < 4; ++i)
        guard.RecordFailure("alice");
    guard.RecordSuccess("alice");
    guard.RecordFailure("alice");
    EXPECT_FALSE(guard.IsLocked("alice"));
}

TEST(OperatorFileTest, SavedTableHoldsHashesOnlyAndVerifiesAfterLoading) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/operators";
    OperatorTable table;
    table.Set("张三", "P0000009", "correct horse", 1000);
    std::string error;
    ASSERT_TRUE(table.Save(path, error)) << error;

    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.contains("correct horse"));
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);

    OperatorTable loaded;
    ASSERT_TRUE(loaded.Load(path, error)) << error;
    const OperatorEntry* entry = loaded.Find("张三");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->participant, "P0000009");
    EXPECT_TRUE(OperatorTable::Verify(entry, "correct horse"));
    EXPECT_FALSE(OperatorTable::Verify(entry, "correct horse "));
    EXPECT_FALSE(OperatorTable::Verify(nullptr, "correct horse"));
}

TEST(OperatorFileTest, AMalformedLineIsReportedWithItsNumber) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/operators";
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# comment\n\nalice\tP1\tpbkdf2-sha256\t1000\tzz\t00\n");
    file.close();
    OperatorTable table;
    std::string error;
    EXPECT_FALSE(table.Load(path, error));
    EXPECT_NE(error.find(":3:"), std::string::npos) << error;
}

TEST(GatewayOptionsTest, ServeAndAddOperatorCommandLines) {
    GatewayCommand command;
    std::string error;
    ASSERT_TRUE(ParseGatewayCommand({"--listen", "127.0.0.1:0", "--db", "s.db", "--header-mode",
                                     "1", "--fault", "delay=50", "--fault", "times=2"},
                                    command, error))
        << error;
    EXPECT_EQ(command.kind, GatewayCommand::Kind::Serve);
    EXPECT_EQ(command.config.listenPort, 0);
    EXPECT_EQ(command.config.dbPath, "s.db");
    EXPECT_EQ(command.config.headerMode, 1);
    EXPECT_EQ(command.config.faults.delayMs, 50);
    EXPECT_EQ(command.config.faults.times, 2);

    GatewayCommand add;
    ASSERT_TRUE(ParseGatewayCommand(
        {"add-operator", "--operators", "ops", "--participant", "P2", "bob"}, add, error))
        << error;
    EXPECT_EQ(add.kind, GatewayCommand::Kind::AddOperator);
    EXPECT_EQ(add.operatorName, "bob");
    EXPECT_EQ(add.participant, "P2");

    for (std::vector<std::string> bad :
         {std::vector<std::string>{"--listen", "127.0.0.1"},
          {"--header-mode", "2"},
          {"--fault", "explode"},
          {"--password", "x"},
          {"add-operator", "bob"},
          {"add-operator", "--operators", "ops", "--participant", "too-long-code", "bob"}}) {
        GatewayCommand ignored;
        EXPECT_FALSE(ParseGatewayCommand(bad, ignored, error)) << bad[0];
    }
}

TEST(SettlementStoreTest, AFileStoreKeepsItsAccountsAcrossRuns) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/store.db";
    std::string error;
    {
        SettlementStore store;
        ASSERT_TRUE(store.Open(path, error)) << error;
        ASSERT_TRUE(store.Begin());
        ASSERT_EQ(store.AddReserve("P1", "B1", "\xC9\xCF\xBA\xA3"),
                  SettlementStore::Added::kStored);
        ASSERT_EQ(store.AddBank("P1", "0102", "A1", "x", ""), SettlementStore::Added::kStored);
        ASSERT_TRUE(store.Commit());
        // The key is the account alone, whoever holds it.
        ASSERT_TRUE(store.Begin());
        EXPECT_EQ(store.AddReserve("P2", "B1", "y"), SettlementStore::Added::kHeld);
        store.Rollback();
    }
    SettlementStore again;
    ASSERT_TRUE(again.Open(path, error)) << error;
    std::string holder;
    ASSERT_TRUE(again.ReserveHolder("B1", holder));
    EXPECT_EQ(holder, "P1");
    ASSERT_TRUE(again.BankHolder("0102", "A1", holder));
    EXPECT_EQ(holder, "P1");
    ASSERT_TRUE(again.BankHolder("0102", "A2", holder));
    EXPECT_EQ(holder, "");
    EXPECT_EQ(again.CountReserve(), 1);
}

TEST(SettlementStoreTest, AStoreThatCannotBeOpenedSaysWhy) {
    // Below a plain file: no directory can be made there, not even by root.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string file = dir.path().toStdString() + "/plain-file";
    QFile(QString::fromStdString(file)).open(QIODevice::WriteOnly);
    const std::string path = file + "/sub/store.db";
    SettlementStore store;
    std::string error;
    EXPECT_FALSE(store.Open(path, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
}

} // namespace
