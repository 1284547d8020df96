#include "support/Communication.h"

#include <atomic>

namespace {
std::atomic<CCommunication*> g_communication{nullptr};
}

CCommunication* GetGolbalCommunicaHandle() {
    return g_communication.load();
}

CCommunication* SetGolbalCommunicaHandle(CCommunication* communication) {
    return g_communication.exchange(communication);
}
