#include "fakes/ResponseBuilder.h"

#include "upload/UploadRecords.h"

#include <algorithm>

namespace {
void Put(std::string& s, std::size_t offset, const std::string& value, std::size_t width) {
    s.replace(offset, std::min(width, value.size()), value.substr(0, width));
}
} // namespace

std::string BuildResultRecord(const std::string& code, const std::string& text) {
    std::string record(kResultWireLength, ' ');
    Put(record, 572, code + std::string(4, ' '), 4);
    Put(record, 576, text, 40);
    return record;
}

std::string BuildResponse(const ResponseScript& script) {
    const std::size_t prefix = script.headerMode == 0 ? 9 : 17;
    std::string results;
    for (std::size_t i = 0; i < script.resultCodes.size(); ++i)
        results += BuildResultRecord(script.resultCodes[i],
                                     i < script.resultTexts.size() ? script.resultTexts[i] : "");
    std::string header(kResponseHeaderWireLength, ' ');
    Put(header, 60, script.returnCode, 4);
    const std::string length =
        script.dataLength.empty() ? std::to_string(results.size()) : script.dataLength;
    Put(header, 64, length, 9);
    Put(header, 74, script.returnMessage, 52);
    return std::string(prefix, 'P') + "XX" + header + results;
}

std::string AcceptAll(const std::string& body, int headerMode) {
    ResponseScript script;
    script.headerMode = headerMode;
    script.resultCodes.assign(body.size() / kRequestWireLength, "0000");
    script.resultTexts.assign(script.resultCodes.size(), "OK");
    return BuildResponse(script);
}
