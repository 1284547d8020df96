// The store and the files SQLite makes beside it are readable by their owner
// only, and a directory made for the store is the owner's alone too.

#include "gateway/SettlementStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

int Mode(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

struct UmaskScope {
    explicit UmaskScope(mode_t mask) : previous(::umask(mask)) {}
    ~UmaskScope() { ::umask(previous); }
    mode_t previous;
};

TEST(StoreFilesTest, ANewStoreItsWalAndShmAndItsNewDirectoryAreTheOwnersAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const UmaskScope permissive(022); // what a shell usually has
    const std::string directory = dir.path().toStdString() + "/made/here";
    const std::string db = directory + "/store.db";
    SettlementStore store;
    std::string error;
    ASSERT_TRUE(store.Open(db, error)) << error;
    ASSERT_TRUE(store.Begin());
    ASSERT_EQ(store.AddReserve("P0000001", "A000000001", "name"), SettlementStore::Added::kStored);
    ASSERT_TRUE(store.Commit()); // the -wal and -shm files exist from here on
    EXPECT_EQ(Mode(db), 0600);
    EXPECT_EQ(Mode(db + "-wal"), 0600);
    EXPECT_EQ(Mode(db + "-shm"), 0600);
    EXPECT_EQ(Mode(directory), 0700);
    EXPECT_EQ(Mode(dir.path().toStdString() + "/made"), 0700);
}

TEST(StoreFilesTest, AnExistingWorldReadableStoreIsMadePrivateWhenOpened) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string db = dir.path().toStdString() + "/store.db";
    std::string error;
    {
        SettlementStore store;
        ASSERT_TRUE(store.Open(db, error)) << error;
    }
    ASSERT_EQ(::chmod(db.c_str(), 0644), 0);
    SettlementStore store;
    ASSERT_TRUE(store.Open(db, error)) << error;
    EXPECT_EQ(store.CountReserve(), 0);
    EXPECT_EQ(Mode(db), 0600);
}

TEST(StoreFilesTest, AnInMemoryStoreTouchesNoFile) {
    SettlementStore store;
    std::string error;
    ASSERT_TRUE(store.Open(":memory:", error)) << error;
    EXPECT_EQ(Mode(":memory:"), -1);
}

} // namespace
