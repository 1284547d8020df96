#include "support/FileAccess.h"
#include "AccountFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

TEST(FileAccessTest, FifoInPlaceOfAFileIsRefusedUnopenedAndUnread) {
    TempWorkDir dir;
    ASSERT_EQ(::mkfifo(dir.PathOf("pipe").c_str(), 0600), 0);
    EXPECT_TRUE(fileaccess::Exists(dir.PathOf("pipe").c_str()));
    // Bytes waiting in the FIFO: a reader would take them.
    const int held = ::open(dir.PathOf("pipe").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::write(held, "abc", 3), 3);
    fileaccess::ReadOnlyFile file;
    EXPECT_EQ(file.Open(dir.PathOf("pipe").c_str()), ENODEV);
    char byte;
    EXPECT_EQ(file.Read(&byte, 1), 0u);
    char left[4] = {};
    EXPECT_EQ(::read(held, left, sizeof left), 3);
    ::close(held);
}

TEST(FileAccessTest, DevicesAndSocketsDirectlyOrThroughALinkAreNoFiles) {
    TempWorkDir dir;
    ASSERT_EQ(::symlink("/dev/zero", dir.PathOf("zero-link").c_str()), 0);
    const std::string socketPath = dir.PathOf("sock");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::symlink(socketPath.c_str(), dir.PathOf("sock-link").c_str()), 0);

    for (const std::string& path : {std::string("/dev/zero"), std::string("/dev/null"),
                                    dir.PathOf("zero-link"), socketPath, dir.PathOf("sock-link")}) {
        fileaccess::ReadOnlyFile file;
        EXPECT_EQ(file.Open(path.c_str()), ENODEV) << path;
        EXPECT_EQ(file.Length(), 0u) << path;
    }
    ::close(sock);
}
