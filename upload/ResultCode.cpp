#include "upload/ResultCode.h"

#include "support/Text.h"

#include <algorithm>

namespace upload {

std::string_view ShownCode(std::string_view code) {
    return text::TrimGbk(text::FieldText(code.data(), code.size()));
}

bool IsSuccessCode(std::string_view code) {
    const std::string_view shown = ShownCode(code);
    return !shown.empty() &&
           std::all_of(shown.begin(), shown.end(), [](char c) { return c == '0'; });
}

int CodeNumber(std::string_view code) {
    return text::ParseDecimal32(ShownCode(code));
}

} // namespace upload
