#include "gateway/OptionNumber.h"

#include <cctype>

bool ParseOptionNumber(const std::string& text, long long low, long long high, long long& value) {
    // Twelve digits at most, so std::stoll can never overflow.
    if (text.empty() || text.size() > 12)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    value = std::stoll(text);
    return value >= low && value <= high;
}
