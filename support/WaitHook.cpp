#include "support/WaitHook.h"

#include "support/Text.h"

namespace {
struct ByteUnit {
    std::uint64_t size;
    const char* name;
};

// The unit a count of `bytes` reads best in.
ByteUnit UnitFor(std::uint64_t bytes) {
    if (bytes >= 1024 * 1024)
        return {1024 * 1024, "MB"};
    if (bytes >= 1024)
        return {1024, "KB"};
    return {1, "B"};
}

std::string Number(std::uint64_t bytes, ByteUnit unit) {
    if (unit.size == 1)
        return std::to_string(bytes);
    return text::Format("%.1f", static_cast<double>(bytes) / static_cast<double>(unit.size));
}

// `part` and `whole` in the unit of `whole`: "1.2/561.9 MB".
std::string PartOf(std::uint64_t part, std::uint64_t whole) {
    const ByteUnit unit = UnitFor(whole);
    return Number(part, unit) + "/" + Number(whole, unit) + " " + unit.name;
}

// The reply's bytes, against its length once the reply has announced it.
std::string ReceivedPart(const WaitProgress& progress) {
    return progress.bytesToReceive > 0 ? PartOf(progress.bytesReceived, progress.bytesToReceive)
                                       : FormatByteCount(progress.bytesReceived);
}
} // namespace

std::string FormatByteCount(std::uint64_t bytes) {
    const ByteUnit unit = UnitFor(bytes);
    return Number(bytes, unit) + " " + unit.name;
}

std::string FormatWaitProgress(const WaitProgress& progress) {
    std::string line = text::Format("已发送 %s,已接收 %s,已等待 %.1f 秒",
                                    PartOf(progress.bytesSent, progress.bytesToSend).c_str(),
                                    ReceivedPart(progress).c_str(), progress.secondsWaited);
    if (progress.recordsTotal > 0)
        line += text::Format(",网关已处理 %llu/%llu 条",
                             static_cast<unsigned long long>(progress.recordsDone),
                             static_cast<unsigned long long>(progress.recordsTotal));
    return line;
}

std::string FormatWaitProgressShort(const WaitProgress& progress) {
    std::string line =
        text::Format("发 %s 收 %s %d 秒", PartOf(progress.bytesSent, progress.bytesToSend).c_str(),
                     ReceivedPart(progress).c_str(), static_cast<int>(progress.secondsWaited));
    if (progress.recordsTotal > 0)
        line += text::Format(" 网关 %llu/%llu 条",
                             static_cast<unsigned long long>(progress.recordsDone),
                             static_cast<unsigned long long>(progress.recordsTotal));
    return line;
}
