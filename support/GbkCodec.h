#pragma once
// Thin wrapper over the platform's character-set converter (iconv here). Only
// Text.cpp calls it; a port to another platform replaces GbkCodec.cpp alone.

#include <string>
#include <string_view>

namespace text::codec {

// Appends the UTF-8 form of GB18030 bytes to `out`; each byte that starts no
// valid sequence is appended as U+FFFD.
void AppendGb18030AsUtf8(std::string_view in, std::string& out);

// Appends the GBK form of UTF-8 text to `out`; each character that has no GBK
// form (or is malformed) is appended as '?'. Returns false when that happened.
bool AppendUtf8AsGbk(std::string_view in, std::string& out);

} // namespace text::codec
