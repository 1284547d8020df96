#include "support/ComFormat.h"
#include "support/Text.h"
#include "upload/RecordFormats.h"
#include "uploader/AccountUploader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

std::string WireImage(const UploadRequestRecord& request) {
    std::string image(kRequestWireLength, '\x7F');
    CGlobalClass::Convert(image.data(), &request, UploadRequestFormat);
    return image;
}

// A 572-byte image of zero bytes holding `fields` (wire offset -> text).
std::string Expected(const std::map<std::size_t, std::string>& fields) {
    std::string image(kRequestWireLength, '\0');
    for (const auto& [offset, value] : fields)
        image.replace(offset, value.size(), value);
    return image;
}

ReserveAccountRecord Reserve(const char* number, const char* name) {
    ReserveAccountRecord account;
    std::memset(&account, 0, sizeof account);
    text::CopyToField(account.ReserveAccountNo, number);
    text::CopyToField(account.ReserveAccountName, name);
    return account;
}

BankAccountRecord Bank(const char* code, const char* number, const char* holder, const char* bank) {
    BankAccountRecord account;
    std::memset(&account, 0, sizeof account);
    text::CopyToField(account.BankCode, code);
    text::CopyToField(account.BankAccountNo, number);
    text::CopyToField(account.AccountFullName, holder);
    text::CopyToField(account.BankFullName, bank);
    return account;
}

} // namespace

TEST(UploadRequests, ReserveRequestFillsItsFieldsAndNothingElse) {
    // "上海证券" in GBK, with a "%" that must pass unchanged.
    const auto request = CAccountUploader::BuildReserveRequest(
        Reserve("B880000001  ", " \xC9\xCF\xBA\xA3\xD6\xA4\xC8\xAF 100%"));
    EXPECT_EQ(WireImage(request), Expected({{38, "*"},
                                            {134, "01"},
                                            {136, "01"},
                                            {138, "B880000001"},
                                            {163, "\xC9\xCF\xBA\xA3\xD6\xA4\xC8\xAF 100%"},
                                            {243, "01"},
                                            {494, "SSCCRC"},
                                            {510, "JSXT            "},
                                            {526, "70"}}));
    // Fields the exchange fills later are left empty.
    EXPECT_EQ(request.SeqNo[0], '\0');
    EXPECT_EQ(request.CommString1[0], '\0');
}

TEST(UploadRequests, BankRequestFillsItsFieldsAndNothingElse) {
    const auto request = CAccountUploader::BuildBankRequest(
        Bank("0102", "6222000011112222333344445555", "\tHolder 50%\r", "Some Bank "));
    EXPECT_EQ(WireImage(request), Expected({{134, "01"},
                                            {136, "02"},
                                            {245, "0102"},
                                            {249, "6222000011112222333344445555"},
                                            {277, "Holder 50%"},
                                            {357, "Some Bank"}}));
    // Full-width values fill their fields to the last byte.
    EXPECT_EQ(std::string(request.BankCode), "0102");
    EXPECT_EQ(std::strlen(request.BankAccountNo), 28u);
}

TEST(UploadRequests, LongestStoredTextsFitWhole) {
    const std::string name30(30, 'N');
    const auto reserve =
        CAccountUploader::BuildReserveRequest(Reserve("123456789012345678", name30.c_str()));
    EXPECT_EQ(std::string(reserve.ReserveAccountNo), "123456789012345678");
    EXPECT_EQ(std::string(reserve.ReserveAccountName), name30);
    const auto bank = CAccountUploader::BuildBankRequest(Bank(" 12 ", "", name30.c_str(), "   "));
    EXPECT_EQ(std::string(bank.BankCode), "12");
    EXPECT_EQ(std::string(bank.AccountFullName), name30);
    EXPECT_EQ(std::string(bank.BankFullName), "");
}
