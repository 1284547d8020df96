// Any bytes as the three local account files, loaded through the account
// store from a temporary work directory. The input is laid out as
//   byte 0      two bits per file (yhzh, agbfj, bgbfj): 0 absent, 1-2 a file,
//               3 a directory in its place
//   bytes 1-2   length of yhzh.dat (little-endian), cut to what is left
//   bytes 3-4   length of agbfj.dat, likewise
//   the rest    bgbfj.dat
// The outcome, the stored records and the list rows are checked against what
// the files' lengths and bytes call for.

#include "FuzzCheck.h"
#include "FuzzWindow.h"
#include "support/Common.h"
#include "support/Text.h"
#include "uploader/AccountUploader.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;
using fuzzcheck::ModelTrim;

enum class Entry { Absent, File, Directory };

struct AccountFile {
    const char* name;
    std::size_t recordLength;
    Entry entry = Entry::Absent;
    std::string_view bytes;
};

// One work directory for the whole run, removed when the run ends (never
// destroyed before that, so the clean-up can still name it).
const fs::path& WorkDirectory() {
    static const fs::path* dir = [] {
        // Memory-backed when the system has it: the files are rewritten for every input.
        std::string pattern =
            fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
        pattern += "/quillmark-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        CCommon::SetWorkPath(pattern);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(WorkDirectory(), ignored);
        });
        return new fs::path(pattern);
    }();
    return *dir;
}

void WriteFiles(const std::array<AccountFile, 3>& files) {
    const fs::path config = WorkDirectory() / "localconfig";
    fs::remove_all(config);
    fs::create_directory(config);
    for (const AccountFile& file : files) {
        if (file.entry == Entry::Directory) {
            fs::create_directory(config / file.name);
        } else if (file.entry == Entry::File) {
            std::ofstream out(config / file.name, std::ios::binary);
            out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
            FUZZ_CHECK(out.good());
        }
    }
}

// A stored field holds the trimmed text of its raw bytes up to the first NUL.
template <std::size_t N> void CheckField(const char (&field)[N], const char* raw) {
    FUZZ_CHECK(text::FieldText(field).size() < N);
    FUZZ_CHECK(text::FieldText(field) == ModelTrim(text::FieldText(raw, N - 1)));
}

void CheckRecords(const std::vector<BankAccountRecord>& records, std::string_view bytes) {
    FUZZ_CHECK(records.size() == bytes.size() / 122);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const char* raw = bytes.data() + i * 122;
        CheckField(records[i].BankCode, raw);
        CheckField(records[i].BankAccountNo, raw + 4);
        CheckField(records[i].AccountFullName, raw + 32);
        CheckField(records[i].BankFullName, raw + 62);
    }
}

void CheckRecords(const std::vector<ReserveAccountRecord>& records, std::string_view bytes) {
    FUZZ_CHECK(records.size() == bytes.size() / 48);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const char* raw = bytes.data() + i * 48;
        CheckField(records[i].ReserveAccountNo, raw);
        CheckField(records[i].ReserveAccountName, raw + 18);
    }
}

std::size_t TakeLength(const std::uint8_t* length, std::string_view& rest) {
    const std::size_t wanted = length[0] | (static_cast<std::size_t>(length[1]) << 8);
    return std::min(wanted, rest.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5)
        return 0;
    std::array<AccountFile, 3> files{{{"yhzh.dat", 122, Entry::Absent, {}},
                                      {"agbfj.dat", 48, Entry::Absent, {}},
                                      {"bgbfj.dat", 48, Entry::Absent, {}}}};
    std::string_view rest(reinterpret_cast<const char*>(data) + 5, size - 5);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int kind = (data[0] >> (2 * i)) & 3;
        files[i].entry = kind == 0 ? Entry::Absent : kind == 3 ? Entry::Directory : Entry::File;
        const std::size_t length = i < 2 ? TakeLength(data + 1 + 2 * i, rest) : rest.size();
        files[i].bytes = rest.substr(0, length);
        rest.remove_prefix(length);
    }
    WriteFiles(files);

    // What the files call for: the first bad file ends the load with its
    // message; otherwise bank or A-share records make it succeed.
    std::string expectedError;
    std::size_t filesRead = 0;
    for (const AccountFile& file : files) {
        const std::string path = WorkDirectory().string() + "/localconfig/" + file.name;
        if (file.entry == Entry::Directory) {
            expectedError = "[21]";
            break;
        }
        if (file.entry == Entry::File && file.bytes.size() % file.recordLength != 0) {
            expectedError = text::Format("资金账户配置文件[%s]已经损坏！", path.c_str());
            break;
        }
        ++filesRead;
    }
    const bool anyShown = (files[0].entry == Entry::File && files[0].bytes.size() >= 122) ||
                          (files[1].entry == Entry::File && files[1].bytes.size() >= 48);
    if (filesRead == 3 && !anyShown)
        expectedError = "没有需要加载的数据!";

    DiscardingReportList bankList;
    DiscardingReportList reserveList;
    CountingMainWindow window;
    CAccountUploader uploader(&bankList, &reserveList, &window);
    // Twice: a second load must give the same outcome into arrays that are no
    // longer empty.
    for (int pass = 0; pass < 2; ++pass) {
        const int result = uploader.Load();
        FUZZ_CHECK(window.messages == 0);
        if (!expectedError.empty()) {
            FUZZ_CHECK(result == 0);
            FUZZ_CHECK(uploader.LastError().find(expectedError) != std::string::npos);
            FUZZ_CHECK(bankList.GetItemCount() == 0 && reserveList.GetItemCount() == 0);
            continue;
        }
        FUZZ_CHECK(result == 1);
        FUZZ_CHECK(uploader.LastError().empty());
        const auto bytesOf = [](const AccountFile& f) {
            return f.entry == Entry::File ? f.bytes : std::string_view();
        };
        CheckRecords(uploader.BankAccounts(), bytesOf(files[0]));
        CheckRecords(uploader.ReserveAccountsA(), bytesOf(files[1]));
        CheckRecords(uploader.ReserveAccountsB(), bytesOf(files[2]));
        FUZZ_CHECK(static_cast<std::size_t>(bankList.GetItemCount()) ==
                   uploader.BankAccounts().size());
        FUZZ_CHECK(static_cast<std::size_t>(reserveList.GetItemCount()) ==
                   uploader.ReserveAccountsA().size());
    }
    return 0;
}
