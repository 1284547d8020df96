#include "gateway/GatewayFaults.h"

#include "gateway/OptionNumber.h"

bool ParseFault(const std::string& item, GatewayFaults& faults, std::string& error) {
    const auto equals = item.find('=');
    const std::string name = item.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : item.substr(equals + 1);
    long long number = 0;
    if (name == "garbage" && equals == std::string::npos) {
        faults.garbage = true;
    } else if (name == "delay" && ParseOptionNumber(value, 0, 3'600'000, number)) {
        faults.delayMs = static_cast<int>(number);
    } else if (name == "work" && ParseOptionNumber(value, 0, 3'600'000, number)) {
        faults.workMs = static_cast<int>(number);
    } else if (name == "close-after" && ParseOptionNumber(value, 0, 1LL << 40, number)) {
        faults.closeAfterBytes = number;
    } else if (name == "return-code" && value.size() == 4) {
        faults.returnCode = value;
    } else if (name == "header-mode" && ParseOptionNumber(value, 0, 9, number)) {
        faults.headerMode = static_cast<int>(number);
    } else if (name == "times" && ParseOptionNumber(value, 0, 1'000'000'000, number)) {
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
