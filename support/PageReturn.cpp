#include "support/PageReturn.h"

#include "support/BusyTicker.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace pages {
namespace {

// Handing half a gigabyte back at once keeps the system busy long enough for
// the window to be seen unpainted.
constexpr std::uintptr_t kSlice = 16u << 20;
// Handing back less than this is not worth a system call.
constexpr std::uintptr_t kLeast = 4u << 20;

std::uintptr_t PageSize() {
    static const auto size = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    return size;
}

} // namespace

void Return(const char* begin, const char* end) {
    const std::uintptr_t page = PageSize();
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
    const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(end) / page * page;
    CBusyTicker busy;
    for (std::uintptr_t at = first; at < last; at += kSlice) {
        const std::size_t length = std::min(kSlice, last - at);
        madvise(reinterpret_cast<void*>(at), length, MADV_DONTNEED);
        busy.TickNow();
    }
}

void ReturnBehind::ReadUpTo(const char* readTo) {
    if (readTo < m_returnedTo + kLeast)
        return;
    // The page the reading is in stays: Return keeps to whole pages.
    const std::uintptr_t page = PageSize();
    const auto upTo =
        reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(readTo) / page * page);
    Return(m_returnedTo, upTo);
    m_returnedTo = upTo;
}

} // namespace pages
