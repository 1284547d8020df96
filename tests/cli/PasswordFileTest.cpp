// A password file is taken only when nobody but its owner can read it, and
// its one trailing line end is not part of the password.

#include "cli/PasswordFile.h"
#include "CliTempDir.h"
#include "cli/PasswordInput.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

namespace {

std::string Write(const CliTempDir& dir, const std::string& name, const std::string& content,
                  mode_t mode) {
    const std::string path = dir.Str() + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    chmod(path.c_str(), mode);
    return path;
}

} // namespace

TEST(PasswordFile, TakesAPrivateFileAndRefusesEverythingElse) {
    CliTempDir dir;
    const struct {
        const char* name;
        std::string content;
        mode_t mode;
        std::string password; // expected when `error` is empty
        std::string error;    // part of the refusal
    } cases[] = {
        {"plain", "s3cret pass", 0600, "s3cret pass", ""},
        {"line-end", "s3cret\n", 0600, "s3cret", ""},
        {"crlf", "s3cret\r\n", 0400, "s3cret", ""},
        {"one-line-end-only", "s3cret\n\n", 0600, "s3cret\n", ""},
        {"inner-blank", " a b ", 0600, " a b ", ""},
        {"group-readable", "s3cret\n", 0640, "", "can be used by others (mode 0640)"},
        {"other-readable", "s3cret\n", 0604, "", "can be used by others"},
        {"group-writable", "s3cret\n", 0620, "", "can be used by others"},
        {"empty", "", 0600, "", "holds no password"},
        {"only-line-end", "\n", 0600, "", "holds no password"},
        {"too-long", std::string(kMaxPasswordLength + 1, 'x'), 0600, "", "longer than"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = ReadPasswordFile(Write(dir, c.name, c.content, c.mode));
        if (c.error.empty()) {
            EXPECT_EQ(result.error, "");
            EXPECT_EQ(result.password, c.password);
        } else {
            EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
            EXPECT_NE(result.error.find(c.name), std::string::npos) << "names the file";
            EXPECT_EQ(result.password, "");
        }
    }
}

TEST(PasswordFile, RefusesWhatIsNotAReadableRegularFile) {
    CliTempDir dir;
    EXPECT_NE(ReadPasswordFile(dir.Str() + "/none").error.find("cannot be opened"),
              std::string::npos);
    EXPECT_NE(ReadPasswordFile(dir.Str()).error.find("not a regular file"), std::string::npos);
}
