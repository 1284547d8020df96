#include "accounts/ListColumns.h"
#include "fakes/RecordingMainWindow.h"
#include "fakes/UploaderRig.h"
#include "support/Text.h"
#include "tests/accounts/AccountFiles.h"
#include "uploader/AccountUploader.h"

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::vector<std::string>>;

UploadResultRecord Result(const std::string& code, const std::string& gbkText) {
    UploadResultRecord result{};
    text::CopyToField(result.ResultCode, code);
    text::CopyToField(result.ResultText, gbkText);
    return result;
}

struct ListsFixture : ::testing::Test, UploaderRig {
    TempWorkDir dir;

    void LoadRecords(int banks, int reserves) {
        std::string bankBytes;
        std::string reserveBytes;
        for (int i = 0; i < banks; ++i)
            bankBytes += BankFileRecord("01" + std::to_string(i), "62" + std::to_string(i),
                                        kGbkZhong, kGbkBank);
        for (int i = 0; i < reserves; ++i)
            reserveBytes += ReserveFileRecord("B00" + std::to_string(i), " " + kGbkZhong + " ");
        dir.Write("yhzh.dat", bankBytes);
        dir.Write("agbfj.dat", reserveBytes);
        dir.Write("bgbfj.dat", ReserveFileRecord("C001", "never shown"));
        ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
    }
};

} // namespace

TEST_F(ListsFixture, LoadedRecordsAreNumberedRowsWithEmptyResultCells) {
    LoadRecords(3, 2);
    EXPECT_EQ(bankList.rows, (Rows{{"1", "", "", "010", "620", "中", "银行"},
                                   {"2", "", "", "011", "621", "中", "银行"},
                                   {"3", "", "", "012", "622", "中", "银行"}}));
    EXPECT_EQ(reserveList.rows, (Rows{{"1", "", "", "B000", "中"}, {"2", "", "", "B001", "中"}}));
    EXPECT_EQ(bankList.ignoredWrites + reserveList.ignoredWrites, 0);
}

TEST_F(ListsFixture, BatchResultsGoReserveFirstAndSuccessesAreCounted) {
    LoadRecords(3, 1);
    std::vector<UploadResultRecord> results{Result("9715", "\xCE\xDE"), // 无
                                            Result("0000", " ok "), Result("    ", ""),
                                            Result("0A", "")};
    int reserveOk = 10; // only ever incremented
    int bankOk = 20;
    uploader.UpdateLists(1, results, &reserveOk, &bankOk);
    EXPECT_EQ(reserveOk, 10);
    EXPECT_EQ(bankOk, 21); // blanks and "0A" confirm nothing
    EXPECT_EQ(reserveList.Cell(0, 1), "9715");
    EXPECT_EQ(reserveList.Cell(0, 2), "无");
    EXPECT_EQ(bankList.Cell(0, 1), "0000");
    EXPECT_EQ(bankList.Cell(0, 2), "ok");
    EXPECT_EQ(bankList.Cell(1, 1), "");
    EXPECT_EQ(bankList.Cell(1, 3), "011"); // other columns untouched
    EXPECT_EQ(bankList.GetItemCount(), 3);
}

TEST_F(ListsFixture, WithoutReserveRecordsTheFirstResultBelongsToBankRowZero) {
    LoadRecords(1, 0);
    std::vector<UploadResultRecord> results{Result("0000", "done")};
    int reserveOk = 0;
    int bankOk = 0;
    uploader.UpdateLists(1, results, &reserveOk, &bankOk);
    EXPECT_EQ(bankList.Cell(0, 2), "done");
    EXPECT_EQ(bankOk, 1);
    EXPECT_EQ(reserveOk, 0);
}

TEST_F(ListsFixture, ShortResultListFillsOnlyTheRowsItReaches) {
    LoadRecords(2, 2);
    std::vector<UploadResultRecord> results{Result("0000", "a"), Result("0000", "b"),
                                            Result("9999", "c")};
    int reserveOk = 0;
    int bankOk = 0;
    uploader.UpdateLists(1, results, &reserveOk, &bankOk);
    EXPECT_EQ(reserveOk, 2);
    EXPECT_EQ(bankOk, 0);
    EXPECT_EQ(bankList.Cell(0, 2), "c");
    EXPECT_EQ(bankList.Cell(1, 2), "");

    std::vector<UploadResultRecord> none;
    uploader.UpdateLists(1, none, &reserveOk, &bankOk);
    EXPECT_EQ(reserveOk + bankOk, 2);
}

TEST_F(ListsFixture, ClearResultsBlanksEveryResultCell) {
    LoadRecords(2, 2);
    std::vector<UploadResultRecord> results(4, Result("0000", "ok"));
    int reserveOk = 0;
    int bankOk = 0;
    uploader.UpdateLists(1, results, &reserveOk, &bankOk);
    uploader.ClearResults();
    EXPECT_EQ(bankList.rows, (Rows{{"1", " ", "", "010", "620", "中", "银行"},
                                   {"2", " ", "", "011", "621", "中", "银行"}}));
    EXPECT_EQ(reserveList.rows, (Rows{{"1", "", "", "B000", "中"}, {"2", "", "", "B001", "中"}}));
}

TEST_F(ListsFixture, MissingListLeavesEverythingAlone) {
    LoadRecords(1, 1);
    CAccountUploader withoutBankList(nullptr, &reserveList, &window);
    std::vector<UploadResultRecord> results(2, Result("0000", "ok"));
    int reserveOk = 0;
    int bankOk = 0;
    withoutBankList.UpdateLists(1, results, &reserveOk, &bankOk);
    EXPECT_EQ(withoutBankList.Load(), 1); // loads the records, fills no list
    EXPECT_EQ(reserveList.GetItemCount(), 0);
    EXPECT_EQ(reserveOk + bankOk, 0);
}
