#pragma once
// Keeps a front end alive through a long step of the tool's own: a loop calls
// Tick() for every item, or TickNow() for every slice of megabytes; whenever
// the pace of PumpClock is due it hands the front end's pending events on
// through the communication object's wait hook, so the window paints while a
// million records are built, read or shown. Tick() is cheap enough to call
// for every record: the clock is read once in 256 calls.

#include "support/Communication.h"
#include "support/PumpClock.h"

#include <cstdint>

class CBusyTicker {
public:
    void Tick() {
        if ((++m_nCalls & 255u) != 0)
            return;
        TickNow();
    }

    void TickNow() {
        if (!PumpClock::Due(PumpClock::Clock::now()))
            return;
        if (CCommunication* comm = GetGolbalCommunicaHandle())
            if (IWaitHook* hook = comm->WaitHook()) {
                hook->OnBusy();
                PumpClock::Mark();
            }
    }

private:
    std::uint32_t m_nCalls = 0;
};
