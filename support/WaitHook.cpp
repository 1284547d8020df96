#include "support/WaitHook.h"

#include "support/Text.h"

namespace {
constexpr double kKiB = 1024.0;
constexpr double kMiB = 1024.0 * 1024.0;

std::string Number(std::uint64_t bytes, double unit) {
    return text::Format("%.1f", static_cast<double>(bytes) / unit);
}

// `part` and `whole` in the unit of `whole`: "1.2/561.9 MB".
std::string PartOf(std::uint64_t part, std::uint64_t whole) {
    if (whole >= 1024 * 1024)
        return Number(part, kMiB) + "/" + Number(whole, kMiB) + " MB";
    if (whole >= 1024)
        return Number(part, kKiB) + "/" + Number(whole, kKiB) + " KB";
    return std::to_string(part) + "/" + std::to_string(whole) + " B";
}
} // namespace

std::string FormatByteCount(std::uint64_t bytes) {
    if (bytes >= 1024 * 1024)
        return Number(bytes, kMiB) + " MB";
    if (bytes >= 1024)
        return Number(bytes, kKiB) + " KB";
    return std::to_string(bytes) + " B";
}

std::string FormatWaitProgress(const WaitProgress& progress) {
    const std::string received = progress.bytesToReceive > 0
                                     ? PartOf(progress.bytesReceived, progress.bytesToReceive)
                                     : FormatByteCount(progress.bytesReceived);
    return text::Format("已发送 %s,已接收 %s,已等待 %.1f 秒",
                        PartOf(progress.bytesSent, progress.bytesToSend).c_str(), received.c_str(),
                        progress.secondsWaited);
}

std::string FormatWaitProgressShort(const WaitProgress& progress) {
    const std::string received = progress.bytesToReceive > 0
                                     ? PartOf(progress.bytesReceived, progress.bytesToReceive)
                                     : FormatByteCount(progress.bytesReceived);
    return text::Format("发 %s 收 %s %d 秒",
                        PartOf(progress.bytesSent, progress.bytesToSend).c_str(), received.c_str(),
                        static_cast<int>(progress.secondsWaited));
}
