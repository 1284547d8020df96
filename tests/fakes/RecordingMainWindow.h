#pragma once
// A main window that records its messages instead of showing them, and runs a
// test's action when the upload pumps its events.

#include "fakes/EventLog.h"
#include "support/MainWindow.h"

#include <functional>
#include <string>
#include <vector>

class RecordingMainWindow : public IMainWindow {
public:
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (log)
            log->Add("message:" + text);
    }
    void PumpMessages() override {
        ++pumps;
        if (onPump)
            onPump(pumps);
    }

    std::vector<std::string> messages;
    int pumps = 0;
    std::function<void(int pumpCount)> onPump;
    EventLog* log = nullptr;
};
