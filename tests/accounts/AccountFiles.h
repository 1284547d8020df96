#pragma once
// A temporary work directory with a localconfig folder, and builders of raw
// account-file records, for the account store's tests.

#include "accounts/AccountRecords.h"
#include "support/Common.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

class TempWorkDir {
public:
    TempWorkDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qm-accounts-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_root = pattern;
        std::filesystem::create_directory(m_root + "/localconfig");
        CCommon::SetWorkPath(m_root);
    }
    ~TempWorkDir() {
        CCommon::SetWorkPath("");
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    const std::string& Root() const { return m_root; }
    std::string PathOf(const std::string& name) const { return m_root + "/localconfig/" + name; }

    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(PathOf(name), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    void Remove(const std::string& name) const { std::filesystem::remove_all(PathOf(name)); }

private:
    std::string m_root;
};

// `value` cut or filled out with `fill` to exactly `width` bytes.
inline std::string Fixed(const std::string& value, std::size_t width, char fill = ' ') {
    std::string out = value.substr(0, width);
    out.resize(width, fill);
    return out;
}

// One 122-byte record of yhzh.dat; `tail` fills the 30 uninterpreted bytes.
inline std::string BankFileRecord(const std::string& code, const std::string& accountNo,
                                  const std::string& accountName, const std::string& bankName,
                                  const std::string& tail = "") {
    std::string record = Fixed(code, 4) + Fixed(accountNo, 28) + Fixed(accountName, 30) +
                         Fixed(bankName, 30) + Fixed(tail, 30);
    if (record.size() != kBankFileRecordLength)
        throw std::logic_error("bank record length");
    return record;
}

// One 48-byte record of agbfj.dat or bgbfj.dat.
inline std::string ReserveFileRecord(const std::string& accountNo, const std::string& name) {
    return Fixed(accountNo, 18) + Fixed(name, 30);
}

// GBK bytes of a few Chinese characters used as record text.
inline const std::string kGbkZhong = "\xD6\xD0";        // 中
inline const std::string kGbkBank = "\xD2\xF8\xD0\xD0"; // 银行
