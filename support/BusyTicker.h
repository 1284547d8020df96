#pragma once
// Keeps a front end alive through a long step of the tool's own: a loop calls
// Tick() for every item; at most every kEvery it hands the front end's
// pending events on through the communication object's wait hook, so the
// window paints while a million records are built, read or shown. Cheap
// enough to call for every record: the clock is read once in 1,024 calls.

#include "support/Communication.h"

#include <chrono>
#include <cstdint>

class CBusyTicker {
public:
    static constexpr std::chrono::milliseconds kEvery{40};

    void Tick() {
        if ((++m_nCalls & 1023u) != 0)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastTick < kEvery)
            return;
        m_lastTick = now;
        if (CCommunication* comm = GetGolbalCommunicaHandle())
            if (IWaitHook* hook = comm->WaitHook())
                hook->OnBusy();
    }

private:
    std::uint32_t m_nCalls = 0;
    std::chrono::steady_clock::time_point m_lastTick = std::chrono::steady_clock::now();
};
