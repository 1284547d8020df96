#include "upload/ResultCode.h"

namespace upload {

namespace {
bool IsPadding(char c) {
    return c == '\0' || c == ' ' || (c >= '\t' && c <= '\r');
}
} // namespace

bool IsSuccessCode(std::string_view code) {
    while (!code.empty() && IsPadding(code.front()))
        code.remove_prefix(1);
    while (!code.empty() && IsPadding(code.back()))
        code.remove_suffix(1);
    if (code.empty())
        return false;
    for (const char c : code) {
        if (c != '0')
            return false;
    }
    return true;
}

} // namespace upload
