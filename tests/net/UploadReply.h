#pragma once
// An upload reply as the gateway writes it, for the client's tests.

#include "support/net/WireFormat.h"

#include <string>

// A reply in header mode `mode` whose prefix names `prefixSerial`, with
// `marker`, a header whose field 1 is `field1` and whose return code is
// `code`, and one result record.
inline std::string UploadReply(int mode, const std::string& prefixSerial, const std::string& marker,
                               const std::string& field1, const std::string& code) {
    return wire::EncodeReplyPrefix(mode, prefixSerial) + marker + wire::Pad(field1, 16) +
           "0000000001" + wire::Pad("SSCCRC", 16) + wire::Pad("JSXT", 16) + "40" + code +
           "000000616" + "1" + wire::Pad("", 52) + std::string(616, '0');
}
