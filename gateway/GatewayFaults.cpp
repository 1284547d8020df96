#include "gateway/GatewayFaults.h"

#include <cctype>

namespace {
bool Number(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty() || text.size() > 12)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    value = std::stoll(text);
    return value >= low && value <= high;
}
} // namespace

bool ParseFault(const std::string& item, GatewayFaults& faults, std::string& error) {
    const auto equals = item.find('=');
    const std::string name = item.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : item.substr(equals + 1);
    long long number = 0;
    if (name == "garbage" && equals == std::string::npos) {
        faults.garbage = true;
    } else if (name == "delay" && Number(value, 0, 3'600'000, number)) {
        faults.delayMs = static_cast<int>(number);
    } else if (name == "close-after" && Number(value, 0, 1LL << 40, number)) {
        faults.closeAfterBytes = number;
    } else if (name == "return-code" && value.size() == 4) {
        faults.returnCode = value;
    } else if (name == "header-mode" && Number(value, 0, 9, number)) {
        faults.headerMode = static_cast<int>(number);
    } else if (name == "times" && Number(value, 0, 1'000'000'000, number)) {
        faults.times = static_cast<int>(number);
    } else if (name == "target" &&
               (value == "login" || value == "serial" || value == "upload" || value == "all")) {
        faults.target = value;
    } else {
        error = "unknown or malformed fault: " + item;
        return false;
    }
    return true;
}
