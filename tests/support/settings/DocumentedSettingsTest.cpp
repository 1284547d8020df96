// README.md and the manual pages of the two front ends name every setting of
// the table in support/settings/Settings.h: its variable and its key in
// quillmark.conf.

#include "support/settings/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class DocumentedSettingsTest : public ::testing::TestWithParam<const char*> {};

TEST_P(DocumentedSettingsTest, NamesEveryVariableAndFileKey) {
    const std::string path = std::string(QUILLMARK_SOURCE_DIR) + "/" + GetParam();
    // The manual pages' sources escape underscores (timeout\_ms).
    std::string text = ReadText(path);
    std::erase(text, '\\');
    ASSERT_FALSE(text.empty()) << "cannot read " << path;
    for (const settings::Entry& entry : settings::kTable) {
        EXPECT_NE(text.find(entry.environment), std::string::npos)
            << path << " does not name " << entry.environment;
        const std::string fileKey = entry.fileKey;
        const auto slash = fileKey.find('/');
        const std::string group = "[" + fileKey.substr(0, slash) + "]";
        const std::string key = fileKey.substr(slash + 1);
        EXPECT_NE(text.find(group), std::string::npos) << path << " does not name " << group;
        EXPECT_NE(text.find(key), std::string::npos) << path << " does not name " << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Documents, DocumentedSettingsTest,
                         ::testing::Values("README.md", "docs/man/quillmark.1.scd",
                                           "docs/man/quillmark-cli.1.scd"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
