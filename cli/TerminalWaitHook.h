#pragma once
// The terminal front end's side of a request that keeps it waiting on the
// gateway: one line on standard error, rewritten in place a few times a
// second with the bytes moved and the seconds waited, and erased at the end.
// Only for a terminal: a log or a pipe gets none of it.

#include "support/WaitHook.h"

#include <ostream>

class CTerminalWaitHook : public IWaitHook {
public:
    explicit CTerminalWaitHook(std::ostream& out) : m_out(out) {}

    void OnWaiting(const WaitProgress& progress) override;
    void OnWaitEnded() override;

private:
    std::ostream& m_out;
    double m_lastShown = -1;
};

// True when standard error is a terminal.
bool StandardErrorIsTerminal();
