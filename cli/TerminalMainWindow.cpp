#include "cli/TerminalMainWindow.h"

void CTerminalMainWindow::ShowMessage(const std::string& text) {
    m_out << "[提示]\n" << text << "\n\n";
    // Flushed at once so that messages and the status lines on standard error
    // keep their order when both go to one terminal or log.
    m_out.flush();
}

std::string FormatStatusLine(const std::string& text) {
    return text.empty() ? std::string("[状态]") : "[状态] " + text;
}
