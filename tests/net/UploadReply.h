#pragma once
// An upload reply as the gateway writes it, for the client's tests.

#include "protocol/WireFormat.h"

#include <string>

// A reply in header mode `mode` whose prefix names `prefixSerial`, with
// `marker`, a header whose field 1 is `field1` and whose return code is
// `code`, and one result record.
inline std::string UploadReply(int mode, const std::string& prefixSerial, const std::string& marker,
                               const std::string& field1, const std::string& code) {
    return protocol::EncodeReplyPrefix(mode, prefixSerial) + marker + protocol::Pad(field1, 16) +
           "0000000001" + protocol::Pad("SSCCRC", 16) + protocol::Pad("JSXT", 16) + "40" + code +
           "000000616" + "1" + protocol::Pad("", 52) + std::string(616, '0');
}
