#include "fakes/RecordingMainWindow.h"
#include "fakes/RecordingReportList.h"
#include "support/Text.h"
#include "tests/accounts/AccountFiles.h"
#include "uploader/AccountUploader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kNothingToLoad = "没有需要加载的数据!";

struct LoadFixture : ::testing::Test {
    TempWorkDir dir;
    RecordingReportList bankList{7};
    RecordingReportList reserveList{5};
    RecordingMainWindow window;
    CAccountUploader uploader{&bankList, &reserveList, &window};

    std::string Damaged(const std::string& name) const {
        return "资金账户配置文件[" + dir.PathOf(name) + "]已经损坏！";
    }
    void WriteDefaultFiles() const {
        dir.Write("yhzh.dat", BankFileRecord("0102", "6222001", "A", "B") +
                                  BankFileRecord("0103", "6222002", "C", "D") +
                                  BankFileRecord("0104", "6222003", "E", "F"));
        dir.Write("agbfj.dat", ReserveFileRecord("B001", "R1") + ReserveFileRecord("B002", "R2"));
        dir.Write("bgbfj.dat", ReserveFileRecord("C001", "S1"));
    }
};

} // namespace

TEST_F(LoadFixture, AllFilesMissingIsNothingToLoadAndEmptiesBothLists) {
    bankList.InsertItem(0, "old");
    reserveList.InsertItem(0, "old");
    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(), kNothingToLoad);
    EXPECT_EQ(bankList.GetItemCount(), 0);
    EXPECT_EQ(reserveList.GetItemCount(), 0);
    EXPECT_EQ(uploader.WorkPath(), dir.Root());
    EXPECT_TRUE(window.messages.empty()); // the window shows the text, not the store
}

TEST_F(LoadFixture, BShareRecordsAloneAreNothingToLoad) {
    dir.Write("bgbfj.dat", ReserveFileRecord("C001", "S1") + ReserveFileRecord("C002", "S2"));
    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(), kNothingToLoad);
    EXPECT_EQ(uploader.ReserveAccountsB().size(), 2u);
    EXPECT_EQ(reserveList.GetItemCount(), 0);
}

TEST_F(LoadFixture, EmptyBankFileWithReserveRecordsLoads) {
    dir.Write("yhzh.dat", "");
    dir.Write("agbfj.dat", ReserveFileRecord("B001", "R1"));
    EXPECT_EQ(uploader.Load(), 1);
    EXPECT_EQ(uploader.LastError(), "");
    EXPECT_EQ(bankList.GetItemCount(), 0);
    EXPECT_EQ(reserveList.GetItemCount(), 1);
}

TEST_F(LoadFixture, BankFileOfWrongLengthStopsTheLoadBeforeTheReserveFiles) {
    WriteDefaultFiles();
    ASSERT_EQ(uploader.Load(), 1);
    dir.Write("yhzh.dat", BankFileRecord("0102", "1", "A", "B") + "X"); // 123 bytes
    dir.Write("agbfj.dat", ReserveFileRecord("NEW", "N"));

    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(), Damaged("yhzh.dat"));
    EXPECT_TRUE(uploader.BankAccounts().empty()); // refused before any record was read
    // The reserve files were not reached: their arrays keep the earlier load.
    ASSERT_EQ(uploader.ReserveAccountsA().size(), 2u);
    EXPECT_STREQ(uploader.ReserveAccountsA()[0].ReserveAccountNo, "B001");
    EXPECT_EQ(bankList.GetItemCount(), 0);
    EXPECT_EQ(reserveList.GetItemCount(), 0);
}

TEST_F(LoadFixture, ReserveFileOfWrongLengthLeavesTheBShareFileUnread) {
    WriteDefaultFiles();
    ASSERT_EQ(uploader.Load(), 1);
    dir.Write("agbfj.dat", std::string(47, 'x'));
    dir.Write("bgbfj.dat", ReserveFileRecord("C009", "S9") + ReserveFileRecord("C010", "S10"));

    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(), Damaged("agbfj.dat"));
    EXPECT_EQ(uploader.BankAccounts().size(), 3u);
    EXPECT_TRUE(uploader.ReserveAccountsA().empty());
    EXPECT_TRUE(uploader.ReserveAccountsB().empty()); // emptied, never read
    EXPECT_EQ(bankList.GetItemCount(), 0);
}

TEST_F(LoadFixture, BShareFileOfWrongLengthFailsTheLoad) {
    WriteDefaultFiles();
    dir.Write("bgbfj.dat", std::string(49, ' '));
    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(), Damaged("bgbfj.dat"));
    EXPECT_EQ(uploader.ReserveAccountsA().size(), 2u);
}

TEST_F(LoadFixture, DirectoryOrDanglingLinkInPlaceOfAFileFailsAtTheOpenWithItsCode) {
    std::filesystem::create_directory(dir.PathOf("yhzh.dat"));
    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(), text::Format("打开银行账户配置文件[%s]失败，失败原因[%d]！",
                                                 dir.PathOf("yhzh.dat").c_str(), EISDIR));

    dir.Remove("yhzh.dat");
    std::filesystem::create_directory(dir.PathOf("bgbfj.dat"));
    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(), text::Format("打开资金账户配置文件[%s]失败，失败原因[%d]！",
                                                 dir.PathOf("bgbfj.dat").c_str(), EISDIR));

    // A link that leads nowhere is not a missing file: the open says why.
    dir.Remove("bgbfj.dat");
    std::filesystem::create_symlink(dir.PathOf("moved-away.dat"), dir.PathOf("agbfj.dat"));
    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(), text::Format("打开资金账户配置文件[%s]失败，失败原因[%d]！",
                                                 dir.PathOf("agbfj.dat").c_str(), ENOENT));
}

// A FIFO or a link to a device in place of any of the three files: the open
// message with ENODEV, nothing taken from the FIFO, and the next load of real
// files works.
TEST_F(LoadFixture, FifoOrDeviceLinkInPlaceOfEachFileFailsAtTheOpenWithEnodev) {
    struct Case {
        std::string file;
        std::string kind; // the words of its open message
    };
    for (const Case& c :
         {Case{"yhzh.dat", "银行账户配置文件"}, Case{"agbfj.dat", "资金账户配置文件"},
          Case{"bgbfj.dat", "资金账户配置文件"}}) {
        for (const bool fifo : {true, false}) {
            SCOPED_TRACE(c.file + (fifo ? " as a FIFO" : " as a link to /dev/zero"));
            WriteDefaultFiles();
            dir.Remove(c.file);
            int held = -1;
            if (fifo) {
                ASSERT_EQ(::mkfifo(dir.PathOf(c.file).c_str(), 0600), 0);
                held = ::open(dir.PathOf(c.file).c_str(), O_RDWR | O_NONBLOCK);
                ASSERT_GE(held, 0);
                ASSERT_EQ(::write(held, "xyz", 3), 3);
            } else {
                std::filesystem::create_symlink("/dev/zero", dir.PathOf(c.file));
            }
            EXPECT_EQ(uploader.Load(), 0);
            EXPECT_EQ(uploader.LastError(), "打开" + c.kind + "[" + dir.PathOf(c.file) +
                                                "]失败，失败原因[" + std::to_string(ENODEV) +
                                                "]！");
            EXPECT_EQ(bankList.GetItemCount(), 0);
            EXPECT_EQ(reserveList.GetItemCount(), 0);
            if (held >= 0) {
                char left[4] = {};
                EXPECT_EQ(::read(held, left, sizeof left), 3) << "the FIFO was read";
                ::close(held);
            }
            dir.Remove(c.file);
            WriteDefaultFiles();
            EXPECT_EQ(uploader.Load(), 1) << uploader.LastError();
            EXPECT_EQ(bankList.GetItemCount(), 3);
        }
    }
}

TEST_F(LoadFixture, FileLockedByAnotherProcessFailsWithTheLockError) {
    WriteDefaultFiles();
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const std::string path = dir.PathOf("agbfj.dat");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Holds the lock until the parent closes its end of `release`.
        const int fd = ::open(path.c_str(), O_RDONLY);
        const char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 1 : 0;
        (void)!::write(ready[1], &ok, 1);
        char byte;
        ::close(release[1]);
        (void)!::read(release[0], &byte, 1);
        ::_exit(0);
    }
    ::close(release[0]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);

    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(), text::Format("打开资金账户配置文件[%s]失败，失败原因[%d]！",
                                                 path.c_str(), EWOULDBLOCK));

    ::close(release[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(uploader.Load(), 1) << uploader.LastError();
}

TEST_F(LoadFixture, BankFieldsAreTrimmedOneByOne) {
    const std::string fifteenChinese = [] {
        std::string s;
        for (int i = 0; i < 15; ++i)
            s += kGbkZhong;
        return s;
    }();
    const std::string loneLeadAtEnd = std::string(29, 'N') + "\xD6";
    dir.Write("yhzh.dat",
              BankFileRecord("1234", " \t6222 001\r\n", fifteenChinese, "   ") +
                  BankFileRecord(" 12 ", std::string("AB\0\0CD", 6) + std::string(22, '\0'),
                                 loneLeadAtEnd, "\xA1\xA1" + kGbkBank + "\xA1\xA1"));
    ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
    const auto& banks = uploader.BankAccounts();
    ASSERT_EQ(banks.size(), 2u);

    EXPECT_STREQ(banks[0].BankCode, "1234");
    EXPECT_STREQ(banks[0].BankAccountNo, "6222 001"); // inner blanks stay
    EXPECT_EQ(std::string(banks[0].AccountFullName, 30), fifteenChinese);
    EXPECT_EQ(banks[0].AccountFullName[30], '\0');
    EXPECT_STREQ(banks[0].BankFullName, ""); // spaces only

    EXPECT_STREQ(banks[1].BankCode, "12");
    EXPECT_STREQ(banks[1].BankAccountNo, "AB"); // the text ends at the first NUL
    EXPECT_EQ(std::string(banks[1].AccountFullName), loneLeadAtEnd);
    // A full-width space is a character, not white space.
    EXPECT_EQ(std::string(banks[1].BankFullName), "\xA1\xA1" + kGbkBank + "\xA1\xA1");

    EXPECT_EQ(bankList.Cell(0, 5), "中中中中中中中中中中中中中中中");
    EXPECT_EQ(bankList.Cell(1, 5), std::string(29, 'N') + "\uFFFD"); // shown, not dropped
    EXPECT_EQ(bankList.Cell(1, 6), "\u3000银行\u3000");
}

TEST_F(LoadFixture, ReserveFieldsAreTrimmedAndBadBytesAreKept) {
    dir.Write("agbfj.dat", ReserveFileRecord("  B0012345  ", std::string("\x81\xFF\x80 x", 5)) +
                               ReserveFileRecord(std::string(18, '\0'), std::string(30, ' ')));
    ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
    const auto& reserves = uploader.ReserveAccountsA();
    ASSERT_EQ(reserves.size(), 2u);
    EXPECT_STREQ(reserves[0].ReserveAccountNo, "B0012345");
    EXPECT_STREQ(reserves[0].ReserveAccountName, "\x81\xFF\x80 x");
    EXPECT_STREQ(reserves[1].ReserveAccountNo, "");
    EXPECT_STREQ(reserves[1].ReserveAccountName, "");
    EXPECT_EQ(reserveList.Cell(1, 3), "");
    EXPECT_EQ(reserveList.Cell(1, 4), "");
}

TEST_F(LoadFixture, UninterpretedBankBytesDoNotReachTheRecord) {
    dir.Write("yhzh.dat",
              BankFileRecord("0102", "62", "Name", "Bank", std::string(30, 'x')) +
                  BankFileRecord("0102", "62", "Name", "Bank", std::string(30, '\xFF')));
    ASSERT_EQ(uploader.Load(), 1);
    const auto& banks = uploader.BankAccounts();
    ASSERT_EQ(banks.size(), 2u);
    EXPECT_EQ(std::memcmp(&banks[0], &banks[1], sizeof(BankAccountRecord)), 0);
    EXPECT_STREQ(banks[0].BankFullName, "Bank");
}

TEST_F(LoadFixture, SecondLoadReplacesTheFirst) {
    WriteDefaultFiles();
    ASSERT_EQ(uploader.Load(), 1);
    ASSERT_EQ(bankList.GetItemCount(), 3);
    dir.Write("yhzh.dat", BankFileRecord("0999", "NEW", "N", "M"));
    dir.Write("agbfj.dat", ReserveFileRecord("B777", "R7"));
    dir.Remove("bgbfj.dat");

    ASSERT_EQ(uploader.Load(), 1);
    ASSERT_EQ(uploader.BankAccounts().size(), 1u);
    EXPECT_STREQ(uploader.BankAccounts()[0].BankCode, "0999");
    ASSERT_EQ(uploader.ReserveAccountsA().size(), 1u);
    EXPECT_TRUE(uploader.ReserveAccountsB().empty());
    EXPECT_EQ(bankList.rows,
              (std::vector<std::vector<std::string>>{{"1", "", "", "0999", "NEW", "N", "M"}}));
    EXPECT_EQ(reserveList.rows,
              (std::vector<std::vector<std::string>>{{"1", "", "", "B777", "R7"}}));
}

TEST_F(LoadFixture, ManyRecordsAcrossReadChunksArriveInFileOrder) {
    std::string bank;
    std::string reserve;
    constexpr int kCount = 5000; // several read chunks of both record lengths
    for (int i = 0; i < kCount; ++i) {
        bank += BankFileRecord("B", std::to_string(i), "n", "b");
        reserve += ReserveFileRecord(std::to_string(i), "r");
    }
    dir.Write("yhzh.dat", bank);
    dir.Write("agbfj.dat", reserve);
    dir.Write("bgbfj.dat", reserve);
    ASSERT_EQ(uploader.Load(), 1);
    ASSERT_EQ(uploader.BankAccounts().size(), std::size_t{kCount});
    ASSERT_EQ(uploader.ReserveAccountsB().size(), std::size_t{kCount});
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(uploader.BankAccounts()[i].BankAccountNo, std::to_string(i));
        ASSERT_EQ(uploader.ReserveAccountsA()[i].ReserveAccountNo, std::to_string(i));
    }
    EXPECT_EQ(bankList.Cell(kCount - 1, 0), std::to_string(kCount));
}

TEST_F(LoadFixture, ReadReserveFileAppendsWithoutEmptying) {
    dir.Write("agbfj.dat", ReserveFileRecord("B001", "R1"));
    std::vector<ReserveAccountRecord> target(1);
    ASSERT_EQ(uploader.ReadReserveFile(dir.PathOf("agbfj.dat"), target), 1);
    ASSERT_EQ(target.size(), 2u);
    EXPECT_STREQ(target[1].ReserveAccountNo, "B001");
    EXPECT_EQ(uploader.ReadReserveFile(dir.PathOf("missing.dat"), target), 1);
    EXPECT_EQ(target.size(), 2u);
}

TEST_F(LoadFixture, FileTruncatedWhileLoadingLeavesWholeRecordsInFileOrder) {
    constexpr int kCount = 400'000; // long enough for the truncation to land mid-read now and then
    std::string reserve;
    reserve.reserve(std::size_t{kCount} * kReserveFileRecordLength);
    for (int i = 0; i < kCount; ++i)
        reserve += ReserveFileRecord(std::to_string(i), "r");
    const std::string shortRead =
        "读取账户文件失败，长度不一致，资金账户配置文件[" + dir.PathOf("agbfj.dat") + "]已经损坏！";
    for (int attempt = 0; attempt < 3; ++attempt) {
        dir.Write("agbfj.dat", reserve);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::usleep(static_cast<useconds_t>(attempt / 2 * 1000));
            ::_exit(::truncate(dir.PathOf("agbfj.dat").c_str(), 480 * 1000) == 0 ? 0 : 1);
        }
        const int result = uploader.Load();
        int status = 0;
        ::waitpid(child, &status, 0);

        const auto& records = uploader.ReserveAccountsA();
        if (result == 1) {
            EXPECT_TRUE(records.size() == std::size_t{kCount} || records.size() == 10'000u)
                << records.size();
        } else {
            EXPECT_EQ(uploader.LastError(), shortRead);
            EXPECT_LT(records.size(), std::size_t{kCount});
            EXPECT_EQ(reserveList.GetItemCount(), 0);
        }
        for (std::size_t i = 0; i < records.size(); ++i)
            ASSERT_EQ(records[i].ReserveAccountNo, std::to_string(i));
        // The next load sees the file as it is now and is whole again.
        ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
        EXPECT_EQ(uploader.ReserveAccountsA().size(), 10'000u);
    }
}

TEST(LoadPathTest, MessagesShowThePathAsTheFileSystemGivesIt) {
    TempWorkDir parent;
    const std::string root = parent.Root() + "/\xD5\xCB\xBB\xA7"; // GBK bytes, not UTF-8
    std::filesystem::create_directories(root + "/localconfig");
    std::ofstream(root + "/localconfig/yhzh.dat") << "x";
    CCommon::SetWorkPath(root);
    CAccountUploader uploader(nullptr, nullptr, nullptr);
    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(),
              "资金账户配置文件[" + root + "/localconfig/yhzh.dat]已经损坏！");
}

TEST(LoadPathTest, NoWorkDirectoryIsAFailureNotTheRootDirectory) {
    // The current directory is the last resort; take it away.
    const auto previous = std::filesystem::current_path();
    const char* environment = std::getenv("QUILLMARK_WORKDIR");
    const std::string savedEnvironment = environment ? environment : "";
    ::unsetenv("QUILLMARK_WORKDIR");
    std::string pattern = (std::filesystem::temp_directory_path() / "qm-gone-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    std::filesystem::current_path(pattern);
    std::filesystem::remove(pattern);

    RecordingReportList bankList{7};
    CAccountUploader uploader(&bankList, &bankList, nullptr);
    bankList.InsertItem(0, "old");
    EXPECT_EQ(uploader.Load(), 0);
    EXPECT_EQ(uploader.LastError(), "无法取得工作目录，账户配置文件未加载！");
    EXPECT_EQ(bankList.GetItemCount(), 0);

    std::filesystem::current_path(previous);
    if (environment)
        ::setenv("QUILLMARK_WORKDIR", savedEnvironment.c_str(), 1);
}
