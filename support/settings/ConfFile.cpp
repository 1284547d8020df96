#include "support/settings/ConfFile.h"

#include <fstream>
#include <sstream>

namespace settings {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

namespace {

// "text" loses its quotes and its escapes; anything else stays as written.
std::string Unquote(const std::string& value) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"')
        return value;
    std::string out;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        char c = value[i];
        if (c == '\\' && i + 2 < value.size()) {
            c = value[++i];
            if (c == 'n')
                c = '\n';
            else if (c == 't')
                c = '\t';
        }
        out += c;
    }
    return out;
}

} // namespace

ConfFile ConfFile::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return Parse(text.str());
}

ConfFile ConfFile::Parse(const std::string& text) {
    ConfFile file;
    std::istringstream lines(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
    std::string group;
    for (std::string line; std::getline(lines, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            group =
                Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = Trim(line.substr(0, equals));
        if (key.empty())
            continue;
        const std::string name = group.empty() || group == "General" ? key : group + "/" + key;
        file.m_values[name] = Unquote(Trim(line.substr(equals + 1)));
    }
    return file;
}

std::optional<std::string> ConfFile::Value(const std::string& groupAndKey) const {
    const auto found = m_values.find(groupAndKey);
    if (found == m_values.end())
        return std::nullopt;
    return found->second;
}

} // namespace settings
