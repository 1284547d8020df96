#pragma once
// The bytes of an upload reply: the prefix (9 or 17 bytes), two marker bytes,
// the 126-byte header and one 616-byte result record per request record.

#include "protocol/Codes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct UploadReplyHeader {
    std::string serial;
    char flag = '1';
    std::string returnCode = protocol::kAccepted;
    std::string message; // UTF-8; goes out as GBK, cut to 52 bytes
};

// `body` and `codes` may be empty (a refused request carries no results).
std::string BuildUploadReply(int prefixMode, bool repeated, const UploadReplyHeader& header,
                             std::string_view body, const std::vector<std::uint16_t>& codes,
                             const std::vector<std::uint8_t>& badFields);

// The same reply built over `request` (the 64-byte packet header, then one
// record per code), which it takes over: each record moves up in place to make
// room for the results before it, so a large reply needs no second buffer and
// no fresh memory beyond what the results add.
std::string BuildUploadReplyOver(std::string request, int prefixMode, bool repeated,
                                 const UploadReplyHeader& header,
                                 const std::vector<std::uint16_t>& codes,
                                 const std::vector<std::uint8_t>& badFields);
