#pragma once
// quillmark.conf: an INI file of [group] headers and key=value lines, as an
// administrator writes it by hand. Lines starting with ';' or '#' are
// comments; a value in double quotes keeps its blanks and its \" \\ \n \t
// escapes. A key given twice keeps its last value.

#include <map>
#include <optional>
#include <string>

namespace settings {

// `text` without the blanks and line ends around it.
std::string Trim(const std::string& text);

class ConfFile {
public:
    // A missing or unreadable file reads as an empty one.
    static ConfFile Load(const std::string& path);
    static ConfFile Parse(const std::string& text);

    // The value of "group/key", if the file has it.
    std::optional<std::string> Value(const std::string& groupAndKey) const;

private:
    std::map<std::string, std::string> m_values;
};

} // namespace settings
