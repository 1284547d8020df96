#include "cli/TerminalWaitHook.h"

#include <unistd.h>

namespace {
constexpr double kShowEverySeconds = 0.25;
// Back to the line's start and erase it.
constexpr const char* kEraseLine = "\r\x1b[K";
} // namespace

void CTerminalWaitHook::OnWaiting(const WaitProgress& progress) {
    if (m_lastShown >= 0 && progress.secondsWaited - m_lastShown < kShowEverySeconds)
        return;
    m_lastShown = progress.secondsWaited;
    m_out << kEraseLine << "[等待] " << FormatWaitProgress(progress) << std::flush;
}

void CTerminalWaitHook::OnWaitEnded() {
    if (m_lastShown >= 0)
        m_out << kEraseLine << std::flush;
    m_lastShown = -1;
}

bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}
