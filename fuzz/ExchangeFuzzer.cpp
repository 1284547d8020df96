// Any bytes as the response to an upload request, read in either header mode
// through CAccountUploader::Exchange with a scripted communication object. The
// input is laid out as
//   byte 0     the first two answers of GetHeaderMode (two bits each: 0, 1, 2, -1)
//   byte 1     how many request records to send (low two bits); with bit 2
//              set, the two codes handed out at login are the response's
//              first 12 bytes and the 12 after them instead of plain ones
//   the rest   the response as received
// The outcome, the appended results, the operator's message and the status
// text are checked against what the response's bytes call for.

#include "FuzzCheck.h"
#include "FuzzWindow.h"
#include "fakes/ScriptedCommunication.h"
#include "support/Text.h"
#include "uploader/AccountUploader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using fuzzcheck::ModelTrim;

constexpr std::size_t kResult = 616;

// A fixed response field read the way the C library reads numbers.
long long NumberAt(std::string_view response, std::size_t offset, std::size_t width) {
    const std::string field(text::FieldText(response.data() + offset, width));
    return std::strtoll(field.c_str(), nullptr, 10);
}

int ModelClassify(int outcome, long long code) {
    code = std::clamp<long long>(code, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max());
    if (code == 9720 || code == 9721 || code == 9706 || code == 9709)
        return -2;
    if (code == 9715 && outcome != -2)
        return -3;
    return outcome;
}

struct Expected {
    int outcome = 1;
    std::string message;     // for -1, when the bytes fix it
    bool statusKept = false; // a refused request keeps the status text up
    std::size_t results = 0;
    std::size_t resultsAt = 0;
};

Expected Model(int firstMode, int secondMode, std::string_view response) {
    Expected e;
    std::size_t prefix = 9;
    if (firstMode != 0) {
        if (secondMode != 1) {
            e.outcome = -1; // a mode the layer does not know
            return e;
        }
        prefix = 17;
    }
    const std::size_t headerAt = prefix + 2;
    e.resultsAt = headerAt + 126;
    if (response.size() < e.resultsAt) {
        e.outcome = -1; // too short to hold its header
        return e;
    }
    if (response.substr(headerAt + 60, 4) != "0000") {
        e.outcome = -1;
        e.statusKept = true;
        e.message =
            text::GbkToUtf8(ModelTrim(text::FieldText(response.data() + headerAt + 74, 52)));
        return e;
    }
    const long long length = NumberAt(response, headerAt + 64, 9);
    if (length == 0) {
        e.outcome = -1;
        e.message = "没有可以查询的数据!";
        return e;
    }
    if (length % static_cast<long long>(kResult) != 0 || length < static_cast<long long>(kResult) ||
        static_cast<unsigned long long>(length) > response.size() - e.resultsAt) {
        e.outcome = -1;
        e.message = "接收数据长度错误!";
        return e;
    }
    e.results = static_cast<std::size_t>(length) / kResult;
    for (std::size_t k = 0; k < e.results; ++k)
        e.outcome =
            ModelClassify(e.outcome, NumberAt(response, e.resultsAt + k * kResult + 572, 4));
    return e;
}

int ModeFromBits(int bits) {
    return bits == 3 ? -1 : bits;
}

// A login code as a request field carries it on the wire: cut to 8 bytes of
// whole GBK characters, ending at a NUL, zero-filled.
std::string WireCode(std::string_view code) {
    std::size_t fits = 0;
    while (fits < code.size() && fits + fuzzcheck::UnitLength(code, fits) <= 8)
        fits += fuzzcheck::UnitLength(code, fits);
    std::string field(text::FieldText(code.data(), fits));
    field.resize(8, '\0');
    return field;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int firstMode = ModeFromBits(data[0] & 3);
    const int secondMode = ModeFromBits((data[0] >> 2) & 3);
    const std::size_t requestCount = data[1] & 3;
    const std::string_view response(reinterpret_cast<const char*>(data) + 2, size - 2);

    ScriptedCommunication comm;
    comm.headerModes = {firstMode, secondMode};
    if (data[1] & 4) {
        comm.CommString1 = std::string(response.substr(0, 12));
        comm.CommString2 =
            std::string(response.substr(std::min<std::size_t>(12, response.size()), 12));
    }
    comm.responses = {std::string(response)};
    ScopedCommunication installed(&comm);
    DiscardingReportList bankList;
    DiscardingReportList reserveList;
    CountingMainWindow window;
    CAccountUploader uploader(&bankList, &reserveList, &window);

    std::vector<UploadRequestRecord> requests(requestCount);
    for (auto& request : requests)
        std::memset(&request, 'x', sizeof request); // whatever the caller left there
    std::vector<UploadResultRecord> results(1);
    std::memset(&results[0], 'k', sizeof results[0]); // an earlier response's result

    const int outcome = uploader.Exchange(requests, results);
    const Expected expected = Model(firstMode, secondMode, response);

    FUZZ_CHECK(outcome == expected.outcome);
    FUZZ_CHECK(comm.sentBodies.size() == 1 && comm.sentBodies[0].size() == 572 * requestCount);
    for (std::size_t i = 0; i < requestCount; ++i) {
        FUZZ_CHECK(text::FieldText(requests[i].SeqNo) == std::to_string(i + 1));
        const std::string_view wire = std::string_view(comm.sentBodies[0]).substr(572 * i, 572);
        FUZZ_CHECK(wire.substr(22, 8) == WireCode(comm.CommString1));
        FUZZ_CHECK(wire.substr(86, 8) == WireCode(comm.CommString2));
    }
    FUZZ_CHECK(results.size() == 1 + expected.results);
    FUZZ_CHECK(std::all_of(reinterpret_cast<const char*>(&results[0]),
                           reinterpret_cast<const char*>(&results[0]) + sizeof results[0],
                           [](char c) { return c == 'k'; }));

    if (outcome == -1) {
        FUZZ_CHECK(window.messages == 1);
        if (!expected.message.empty() || expected.statusKept)
            FUZZ_CHECK(window.lastMessage == expected.message);
        const bool statusCleared = std::find(comm.statusTexts.begin(), comm.statusTexts.end(),
                                             "") != comm.statusTexts.end();
        FUZZ_CHECK(statusCleared == !expected.statusKept);
        return 0;
    }

    FUZZ_CHECK(window.messages == 0 && comm.statusTexts.empty());
    for (std::size_t k = 0; k < expected.results; ++k) {
        const char* raw = response.data() + expected.resultsAt + k * kResult;
        const UploadResultRecord& result = results[1 + k];
        FUZZ_CHECK(std::memcmp(result.ResultCode, raw + 572, 4) == 0 && result.ResultCode[4] == 0);
        FUZZ_CHECK(std::memcmp(result.ResultText, raw + 576, 40) == 0 &&
                   result.ResultText[40] == 0);
    }
    return 0;
}
