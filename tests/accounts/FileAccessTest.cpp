#include "support/FileAccess.h"
#include "AccountFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

TEST(FileAccessTest, ReadStopsAtTheEndAndReportsTheCount) {
    TempWorkDir dir;
    dir.Write("f", "abcdef");
    fileaccess::ReadOnlyFile file;
    ASSERT_EQ(file.Open(dir.PathOf("f").c_str()), 0);
    EXPECT_EQ(file.Length(), 6u);
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(file.Read(buffer + 4, 10), 2u);
    EXPECT_EQ(std::string(buffer), "abcdef");
    EXPECT_EQ(file.Read(buffer, 1), 0u);
}

TEST(FileAccessTest, LockIsExclusiveUntilClosed) {
    TempWorkDir dir;
    dir.Write("f", "x");
    fileaccess::ReadOnlyFile first;
    fileaccess::ReadOnlyFile second;
    ASSERT_EQ(first.Open(dir.PathOf("f").c_str()), 0);
    EXPECT_EQ(second.Open(dir.PathOf("f").c_str()), EWOULDBLOCK);
    first.Close();
    EXPECT_EQ(second.Open(dir.PathOf("f").c_str()), 0);
}

TEST(FileAccessTest, OpenFailuresGiveTheSystemCode) {
    TempWorkDir dir;
    fileaccess::ReadOnlyFile file;
    EXPECT_EQ(file.Open(dir.PathOf("missing").c_str()), ENOENT);
    EXPECT_EQ(file.Open(dir.Root().c_str()), EISDIR);
    EXPECT_EQ(file.Read(nullptr, 0), 0u);
}

TEST(FileAccessTest, ADanglingLinkExistsAndItsOpenSaysWhy) {
    TempWorkDir dir;
    ASSERT_EQ(::symlink(dir.PathOf("gone").c_str(), dir.PathOf("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.PathOf("loop").c_str(), dir.PathOf("loop").c_str()), 0);
    EXPECT_TRUE(fileaccess::Exists(dir.PathOf("link").c_str()));
    EXPECT_FALSE(fileaccess::Exists(dir.PathOf("gone").c_str()));
    fileaccess::ReadOnlyFile file;
    EXPECT_EQ(file.Open(dir.PathOf("link").c_str()), ENOENT);
    EXPECT_EQ(file.Open(dir.PathOf("loop").c_str()), ELOOP);
}

TEST(FileAccessTest, FifoInPlaceOfAFileNeitherBlocksNorHoldsRecords) {
    TempWorkDir dir;
    ASSERT_EQ(::mkfifo(dir.PathOf("pipe").c_str(), 0600), 0);
    EXPECT_TRUE(fileaccess::Exists(dir.PathOf("pipe").c_str()));
    fileaccess::ReadOnlyFile file;
    ASSERT_EQ(file.Open(dir.PathOf("pipe").c_str()), 0);
    EXPECT_EQ(file.Length(), 0u);
    char byte;
    EXPECT_EQ(file.Read(&byte, 1), 0u);
}
