// One holder per work directory: a second taker waits its time and is told
// who holds it; the lock goes with its holder.

#include "support/WorkDirLock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

namespace {

using std::chrono::milliseconds;

class WorkDirLockTest : public ::testing::Test {
protected:
    std::filesystem::path runtime;
    std::string savedRuntime;
    bool hadRuntime = false;

    void SetUp() override {
        std::random_device seed;
        runtime = std::filesystem::temp_directory_path() /
                  ("quillmark-lock-test-" + std::to_string(seed()));
        std::filesystem::create_directories(runtime / "work");
        if (const char* value = std::getenv("XDG_RUNTIME_DIR")) {
            hadRuntime = true;
            savedRuntime = value;
        }
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    void TearDown() override {
        if (hadRuntime)
            setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(runtime);
    }
    std::string Work() const { return (runtime / "work").string(); }
};

} // namespace

TEST_F(WorkDirLockTest, OnePathPerDirectoryHoweverItIsWritten) {
    EXPECT_EQ(workdir::LockPath(Work()), workdir::LockPath(Work() + "/"));
    EXPECT_EQ(workdir::LockPath(Work()), workdir::LockPath(Work() + "/../work"));
    EXPECT_NE(workdir::LockPath(Work()), workdir::LockPath(runtime.string()));
    EXPECT_EQ(workdir::LockPath(Work()).rfind((runtime / "quillmark").string() + "/", 0), 0u);
}

TEST_F(WorkDirLockTest, SecondTakerWaitsIsToldWhoHoldsItAndGetsItOnceLetGo) {
    workdir::Lock first(Work(), "quillmark");
    ASSERT_EQ(first.Acquire(milliseconds(0)), workdir::Lock::Result::Acquired) << first.Error();
    EXPECT_TRUE(first.Held());

    workdir::Lock second(Work() + "/", "quillmark-cli");
    std::string toldHolder;
    int told = 0;
    const auto result = second.Acquire(
        milliseconds(50),
        [&](const std::string& holder) {
            toldHolder = holder;
            ++told;
        },
        milliseconds(10));
    EXPECT_EQ(result, workdir::Lock::Result::Busy);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(toldHolder.rfind("quillmark (pid ", 0), 0u) << toldHolder;
    EXPECT_FALSE(second.Held());

    // Another directory is not held.
    std::filesystem::create_directory(runtime / "other");
    workdir::Lock other((runtime / "other").string(), "quillmark-cli");
    EXPECT_EQ(other.Acquire(milliseconds(0)), workdir::Lock::Result::Acquired);

    first.Release();
    EXPECT_EQ(second.Acquire(milliseconds(0)), workdir::Lock::Result::Acquired);
    EXPECT_EQ(second.Holder().rfind("quillmark-cli (pid ", 0), 0u) << second.Holder();
}

TEST_F(WorkDirLockTest, UnavailableWhenTheLockFileCannotBeMade) {
    setenv("XDG_RUNTIME_DIR", (runtime / "missing" / "deeper").c_str(), 1);
    workdir::Lock lock(Work(), "quillmark-cli");
    EXPECT_EQ(lock.Acquire(milliseconds(0)), workdir::Lock::Result::Unavailable);
    EXPECT_NE(lock.Error(), "");
}
