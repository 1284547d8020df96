#pragma once
// The main window as the terminal front end plays it: each message box becomes
// a block on standard output; there are no window events to pump.

#include "support/MainWindow.h"

#include <ostream>
#include <string>

class CTerminalMainWindow : public IMainWindow {
public:
    explicit CTerminalMainWindow(std::ostream& out) : m_out(out) {}

    // Writes "[提示]", the text with its own line breaks, and an empty line.
    void ShowMessage(const std::string& text) override;
    // Nothing waits for handling between records in a terminal.
    void PumpMessages() override {}

private:
    std::ostream& m_out;
};

// "[状态] TEXT", or "[状态]" alone when the status is cleared.
std::string FormatStatusLine(const std::string& text);
