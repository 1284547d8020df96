#include "cli/PasswordInput.h"

std::optional<std::string> ReadPasswordLine(std::istream& in) {
    std::string line;
    char c;
    while (in.get(c) && c != '\n') {
        if (line.size() == kMaxPasswordLength)
            return std::nullopt;
        line += c;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}
