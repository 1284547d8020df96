#pragma once
// Request and result records as the uploader hands them to the journal, and a
// fresh directory for a journal file.

#include "support/Text.h"
#include "upload/UploadRecords.h"

#include <cstring>
#include <filesystem>
#include <random>
#include <string>

inline UploadRequestRecord ReserveRequest(const std::string& no, const std::string& nameUtf8) {
    UploadRequestRecord r;
    std::memset(&r, 0, sizeof r);
    text::CopyToField(r.RecordKind, "01");
    text::CopyToField(r.ReserveAccountNo, no);
    text::CopyToField(r.ReserveAccountName, text::Utf8ToGbk(nameUtf8));
    return r;
}

inline UploadRequestRecord BankRequest(const std::string& code, const std::string& no,
                                       const std::string& nameUtf8, const std::string& bankUtf8) {
    UploadRequestRecord r;
    std::memset(&r, 0, sizeof r);
    text::CopyToField(r.RecordKind, "02");
    text::CopyToField(r.BankCode, code);
    text::CopyToField(r.BankAccountNo, no);
    text::CopyToField(r.AccountFullName, text::Utf8ToGbk(nameUtf8));
    text::CopyToField(r.BankFullName, text::Utf8ToGbk(bankUtf8));
    return r;
}

inline UploadResultRecord ResultFor(const UploadRequestRecord& request, const std::string& code,
                                    const std::string& textUtf8 = "") {
    UploadResultRecord r;
    std::memset(&r, 0, sizeof r);
    r.Request = request;
    text::CopyToField(r.ResultCode, code);
    text::CopyToField(r.ResultText, text::Utf8ToGbk(textUtf8));
    return r;
}

class JournalDir {
public:
    JournalDir() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        do {
            m_path = std::filesystem::temp_directory_path() /
                     ("quillmark-journal-test-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(m_path));
    }
    ~JournalDir() {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    JournalDir(const JournalDir&) = delete;
    JournalDir& operator=(const JournalDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string File() const { return (m_path / "journal.sqlite3").string(); }

private:
    std::filesystem::path m_path;
};
