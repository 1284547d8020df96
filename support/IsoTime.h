#pragma once
// Times as the journal and the file facts write them: local time in ISO 8601 with milliseconds
// and the local offset, "2026-12-07T14:03:05.120+08:00".

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace text {

inline std::string IsoTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto sinceEpoch = when.time_since_epoch();
    const std::time_t seconds =
        static_cast<std::time_t>(floor<std::chrono::seconds>(sinceEpoch).count());
    const int millis = static_cast<int>(floor<milliseconds>(sinceEpoch).count() % 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const int offset = static_cast<int>(local.tm_gmtoff / 60) % (24 * 60);
    const int magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03d%c%02d:%02d", date,
                  millis < 0 ? millis + 1000 : millis, offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

} // namespace text
