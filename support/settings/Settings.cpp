#include "support/settings/Settings.h"

#include "support/settings/ConfFile.h"

#include <pwd.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace settings {

namespace {

std::optional<int> ParseNumber(const std::string& text, int low, int high) {
    std::string digits = Trim(text);
    if (!digits.empty() && digits.front() == '+')
        digits.erase(0, 1);
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<bool> ParseSwitch(const std::string& text) {
    std::string word = Trim(text);
    for (char& c : word)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (word == "1" || word == "true" || word == "yes" || word == "on")
        return true;
    if (word == "0" || word == "false" || word == "no" || word == "off")
        return false;
    return std::nullopt;
}

std::optional<std::string> ParseText(const std::string& text) {
    std::string value = Trim(text);
    if (value.empty())
        return std::nullopt;
    return value;
}

// The first source's valid value, stored in its field; the default stays
// when no source has one.
struct Apply {
    const Entry& entry;
    const std::optional<std::string>& fromEnvironment;
    const std::optional<std::string>& fromFile;
    Settings& settings;

    template <typename Parse, typename Value>
    void First(Parse parse, Value Settings::*field) const {
        for (const auto* source : {&fromEnvironment, &fromFile})
            if (*source)
                if (auto value = parse(**source)) {
                    settings.*field = *value;
                    return;
                }
    }
    void operator()(std::string Settings::*field) const { First(ParseText, field); }
    void operator()(int Settings::*field) const {
        First([this](const std::string& text) { return ParseNumber(text, entry.low, entry.high); },
              field);
    }
    void operator()(bool Settings::*field) const { First(ParseSwitch, field); }
};

std::string HomeDirectory(const Environment& environment) {
    if (auto home = environment("HOME"); home && !home->empty())
        return *home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

// $variable, else `fallback` under the home directory.
std::string XdgDirectory(const Environment& environment, const char* variable,
                         const char* fallback) {
    if (auto base = environment(variable); base && !base->empty())
        return *base;
    return HomeDirectory(environment) + fallback;
}

} // namespace

Environment ProcessEnvironment() {
    return [](const char* name) -> std::optional<std::string> {
        if (const char* value = std::getenv(name))
            return std::string(value);
        return std::nullopt;
    };
}

std::string FilePath(const Environment& environment) {
    return XdgDirectory(environment, "XDG_CONFIG_HOME", "/.config") + "/quillmark/quillmark.conf";
}

Settings Read() {
    const Environment environment = ProcessEnvironment();
    return Read(environment, ConfFile::Load(FilePath(environment)));
}

Settings Read(const Environment& environment, const ConfFile& file) {
    Settings settings;
    settings.journalPath =
        XdgDirectory(environment, "XDG_DATA_HOME", "/.local/share") + "/quillmark/journal.sqlite3";
    std::error_code error;
    settings.workDir = std::filesystem::current_path(error).string(); // empty when unknown
    for (const Entry& entry : kTable)
        std::visit(
            Apply{entry, environment(entry.environment), file.Value(entry.fileKey), settings},
            entry.field);
    return settings;
}

} // namespace settings
