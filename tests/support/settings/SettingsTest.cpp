// The one reader of the tool's settings, from given sources: the environment
// first, then quillmark.conf, then the default, value by value.

#include "support/settings/Settings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using settings::ConfFile;
using settings::Settings;

namespace {

struct Case {
    const char* name;
    std::map<std::string, std::string> environment;
    const char* file;
    Settings (*expected)();
};

settings::Environment EnvironmentOf(const std::map<std::string, std::string>& variables) {
    return [variables](const char* name) -> std::optional<std::string> {
        const auto found = variables.find(name);
        if (found == variables.end())
            return std::nullopt;
        return found->second;
    };
}

const std::map<std::string, std::string> kHome = {{"HOME", "/home/op"}};

Settings Defaults() {
    Settings settings;
    settings.journalPath = "/home/op/.local/share/quillmark/journal.sqlite3";
    settings.workDir = "/work";
    return settings;
}

const Case kCases[] = {
    {"NothingSetGivesTheDefaults", kHome, "", Defaults},
    {"TheFileFillsEverySetting", kHome,
     "[gateway]\naddress=10.1.2.3\nport=9000\ntimeout_ms=2500\ntls=true\n"
     "ca_file=/etc/quillmark/ca.pem\n[journal]\npath=/var/j.sqlite3\n[workdir]\npath=/data\n",
     [] {
         Settings s = Defaults();
         s.gatewayAddress = "10.1.2.3";
         s.gatewayPort = 9000;
         s.timeoutMs = 2500;
         s.tls = true;
         s.tlsCaFile = "/etc/quillmark/ca.pem";
         s.journalPath = "/var/j.sqlite3";
         s.workDir = "/data";
         return s;
     }},
    {"TheEnvironmentWinsValueByValue",
     {{"HOME", "/home/op"},
      {"QUILLMARK_GATEWAY_PORT", "7171"},
      {"QUILLMARK_TLS", "off"},
      {"QUILLMARK_JOURNAL", " /tmp/j.sqlite3 "},
      {"QUILLMARK_WORKDIR", "/elsewhere"}},
     "[gateway]\naddress=10.1.2.3\nport=9000\ntls=on\n[journal]\npath=/var/j.sqlite3\n",
     [] {
         Settings s = Defaults();
         s.gatewayAddress = "10.1.2.3";
         s.gatewayPort = 7171;
         s.journalPath = "/tmp/j.sqlite3";
         s.workDir = "/elsewhere";
         return s;
     }},
    {"InvalidValuesFallThroughToTheNextSource",
     {{"HOME", "/home/op"},
      {"QUILLMARK_GATEWAY_PORT", "0"},
      {"QUILLMARK_TIMEOUT_MS", "not a number"},
      {"QUILLMARK_TLS", "perhaps"},
      {"QUILLMARK_GATEWAY_ADDRESS", "   "}},
     "[gateway]\nport=70000\ntimeout_ms=2500\ntls=maybe\n",
     [] {
         Settings s = Defaults();
         s.timeoutMs = 2500;
         return s;
     }},
    {"XdgDataHomePlacesTheJournal",
     {{"HOME", "/home/op"}, {"XDG_DATA_HOME", "/xdg/data"}},
     "",
     [] {
         Settings s = Defaults();
         s.journalPath = "/xdg/data/quillmark/journal.sqlite3";
         return s;
     }},
    {"CommentsQuotesAndBlanksInTheFile", kHome,
     "\xEF\xBB\xBF; written by hand\n# another comment\n[ gateway ]\n  address = \" 10.9.9.9\" \n"
     "port=+8000\nport=8001\n",
     [] {
         Settings s = Defaults();
         s.gatewayAddress = "10.9.9.9";
         s.gatewayPort = 8001;
         return s;
     }},
};

class SettingsReadTest : public ::testing::TestWithParam<Case> {};

TEST_P(SettingsReadTest, ReadsAsDocumented) {
    const Case& test = GetParam();
    Settings read = settings::Read(EnvironmentOf(test.environment), ConfFile::Parse(test.file));
    // The current directory is the process's; the table pins it.
    if (read.workDir != "/data" && read.workDir != "/elsewhere")
        read.workDir = "/work";
    const Settings expected = test.expected();
    EXPECT_EQ(read.gatewayAddress, expected.gatewayAddress);
    EXPECT_EQ(read.gatewayPort, expected.gatewayPort);
    EXPECT_EQ(read.timeoutMs, expected.timeoutMs);
    EXPECT_EQ(read.tls, expected.tls);
    EXPECT_EQ(read.tlsCaFile, expected.tlsCaFile);
    EXPECT_EQ(read.journalPath, expected.journalPath);
    EXPECT_EQ(read.workDir, expected.workDir);
}

INSTANTIATE_TEST_SUITE_P(Sources, SettingsReadTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFile, UnderXdgConfigHomeElseUnderTheHomeDirectory) {
    EXPECT_EQ(settings::FilePath(EnvironmentOf(kHome)),
              "/home/op/.config/quillmark/quillmark.conf");
    EXPECT_EQ(settings::FilePath(EnvironmentOf({{"HOME", "/home/op"}, {"XDG_CONFIG_HOME", "/c"}})),
              "/c/quillmark/quillmark.conf");
}

TEST(SettingsFile, AMissingFileReadsAsEmpty) {
    EXPECT_FALSE(ConfFile::Load("/nonexistent/quillmark.conf").Value("gateway/port"));
}

TEST(SettingsWorkDir, DefaultsToTheCurrentDirectory) {
    EXPECT_FALSE(settings::Read(EnvironmentOf(kHome), {}).workDir.empty());
}

} // namespace
