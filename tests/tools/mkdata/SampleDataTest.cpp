#include "accounts/ListColumns.h"
#include "fakes/RecordingMainWindow.h"
#include "fakes/RecordingReportList.h"
#include "support/Common.h"
#include "support/Text.h"
#include "tests/cli/CliTempDir.h"
#include "tools/mkdata/SampleWorkDir.h"
#include "uploader/AccountUploader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(SampleAccounts, SameSeedSameBytesOtherSeedOtherBytes) {
    EXPECT_EQ(MakeBankFile(20, 42), MakeBankFile(20, 42));
    EXPECT_NE(MakeBankFile(20, 42), MakeBankFile(20, 43));
    EXPECT_EQ(MakeReserveFile(20, 42, false), MakeReserveFile(20, 42, false));
    EXPECT_NE(MakeReserveFile(20, 42, false), MakeReserveFile(20, 42, true));
    EXPECT_EQ(MakeBankFile(20, 42).size(), 20 * kBankFileRecordLength);
    EXPECT_EQ(MakeReserveFile(0, 42, true).size(), 0u);
}

TEST(SampleAccounts, FieldsVaryInPaddingAndTheFirstRecordFillsItsFields) {
    const std::string bank = MakeBankFile(30, 5);
    // First record: 4-digit code, 28-digit number, names of 15 double-byte characters.
    for (std::size_t i = 0; i < 92; ++i)
        EXPECT_NE(bank[i], ' ') << i;
    const std::string fullName = text::GbkToUtf8(bank.substr(32, 30));
    EXPECT_EQ(fullName.size(), 45u);                             // 15 characters of 3 UTF-8 bytes
    EXPECT_EQ(fullName.substr(fullName.size() - 9), "营业部");   // whole words, nothing cut
    EXPECT_EQ(fullName.find("\xEF\xBF\xBD"), std::string::npos); // nothing undecodable

    bool nulPadded = false, blankPadded = false, leadingBlank = false;
    for (std::size_t r = 1; r < 30; ++r) {
        const std::string name = bank.substr(r * kBankFileRecordLength + 32, 30);
        nulPadded |= name.back() == '\0';
        blankPadded |= name.back() == ' ';
        leadingBlank |= name.front() == ' ';
    }
    EXPECT_TRUE(nulPadded && blankPadded && leadingBlank);
    // Every name is whole: it ends in one of the words names are built to end in.
    auto endsWell = [](const std::string& name) {
        for (std::string_view ending : {"公司", "证券", "营业部", "分行", "支行", "银行"})
            if (name.size() >= ending.size() &&
                name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
                return true;
        return false;
    };
    for (std::size_t r = 0; r < 30; ++r) {
        for (std::size_t offset : {32u, 62u}) {
            const std::string field = bank.substr(r * kBankFileRecordLength + offset, 30);
            const std::string name =
                text::GbkToUtf8(text::TrimGbk(text::FieldText(field.data(), 30)));
            EXPECT_TRUE(endsWell(name)) << name;
        }
    }
}

TEST(SampleWorkDir, LoadsCleanlyWithUniqueNumbersAndNamesThatSurviveTheRoundTrip) {
    CliTempDir dir;
    SampleWorkDirOptions options;
    options.counts = {40, 30, 5};
    std::string report, error;
    ASSERT_TRUE(WriteSampleWorkDir(dir.Str(), options, report, error)) << error;

    RecordingReportList bankList(static_cast<int>(BankListColumns().size()));
    RecordingReportList reserveList(static_cast<int>(ReserveListColumns().size()));
    RecordingMainWindow window;
    CAccountUploader uploader(&bankList, &reserveList, &window);
    CCommon::SetWorkPath(dir.Str());
    ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
    CCommon::SetWorkPath("");

    EXPECT_EQ(bankList.GetItemCount(), 40);
    EXPECT_EQ(reserveList.GetItemCount(), 30);
    EXPECT_EQ(uploader.ReserveAccountsB().size(), 5u);
    std::set<std::string> bankNumbers, reserveNumbers;
    for (int row = 0; row < 40; ++row) {
        bankNumbers.insert(bankList.Cell(row, kColumnBankAccountNo));
        EXPECT_FALSE(bankList.Cell(row, kColumnAccountFullName).empty());
        EXPECT_FALSE(bankList.Cell(row, kColumnBankFullName).empty());
        EXPECT_EQ(bankList.Cell(row, kColumnBankFullName).find("\xEF\xBF\xBD"), std::string::npos);
    }
    for (int row = 0; row < 30; ++row)
        reserveNumbers.insert(reserveList.Cell(row, kColumnReserveAccountNo));
    EXPECT_EQ(bankNumbers.size(), 40u);
    EXPECT_EQ(reserveNumbers.size(), 30u);
    EXPECT_NE(report.find("yhzh.dat: 40 records, 4880 bytes"), std::string::npos) << report;
}

TEST(SampleWorkDir, DamagedVariantsHaveTheirShapeAndCanBeRepaired) {
    CliTempDir dir;
    SampleWorkDirOptions options;
    options.counts = {3, 3, 3};
    for (const char* wanted : {"directory:yhzh", "bad-length:agbfj.dat", "truncated:bgbfj"}) {
        DamageRequest request{};
        ASSERT_TRUE(ParseDamageRequest(wanted, request)) << wanted;
        options.damages.push_back(request);
    }
    std::string report, error;
    ASSERT_TRUE(WriteSampleWorkDir(dir.Str(), options, report, error)) << error;
    const fs::path config = dir.Path() / "localconfig";
    EXPECT_TRUE(fs::is_directory(config / "yhzh.dat"));
    EXPECT_EQ(fs::file_size(config / "agbfj.dat"), 3 * 48 + 1u);
    EXPECT_EQ(fs::file_size(config / "bgbfj.dat"), 3 * 48 - 24u);

    options.damages = {{Damage::Empty, "agbfj.dat"}, {Damage::Missing, "bgbfj.dat"}};
    ASSERT_TRUE(WriteSampleWorkDir(dir.Str(), options, report, error)) << error;
    EXPECT_EQ(fs::file_size(config / "yhzh.dat"), 3 * 122u); // the directory gave way
    EXPECT_EQ(fs::file_size(config / "agbfj.dat"), 0u);
    EXPECT_FALSE(fs::exists(config / "bgbfj.dat"));
    EXPECT_EQ(ReadAll(config / "yhzh.dat"), MakeBankFile(3, options.seed));
}

TEST(SampleWorkDir, RefusesToRemoveADirectoryWithContent) {
    CliTempDir dir;
    fs::create_directories(dir.Path() / "localconfig" / "yhzh.dat" / "keep");
    std::string report, error;
    EXPECT_FALSE(WriteSampleWorkDir(dir.Str(), {}, report, error));
    EXPECT_NE(error.find("not empty"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir.Path() / "localconfig" / "yhzh.dat" / "keep"));
}

TEST(SampleWorkDir, DamageRequestsMustNameAKindAndAFile) {
    DamageRequest request{};
    for (const char* bad : {"bad-length", "bad-length:", "broken:yhzh", "empty:other", ":yhzh"})
        EXPECT_FALSE(ParseDamageRequest(bad, request)) << bad;
}
