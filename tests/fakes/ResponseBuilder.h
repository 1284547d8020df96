#pragma once
// Builds response bytes as the exchange reads them: a prefix of 9 (header mode
// 0) or 17 (mode 1) bytes, 2 bytes, the 126-byte header, 616-byte results.

#include <string>
#include <vector>

struct ResponseScript {
    int headerMode = 0;
    std::string returnCode = "0000";
    std::string returnMessage;
    // Header field 7; when empty, the decimal length of the result records.
    std::string dataLength;
    std::vector<std::string> resultCodes;
    std::vector<std::string> resultTexts; // optional, one per result code
};

std::string BuildResponse(const ResponseScript& script);

// One 616-byte result record with the given code (field 27) and text (field 28).
std::string BuildResultRecord(const std::string& code, const std::string& text);

// A response accepting every record of a request body (n × 572 bytes) with code 0.
std::string AcceptAll(const std::string& body, int headerMode = 0);
