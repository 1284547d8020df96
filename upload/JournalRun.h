#pragma once
// One upload run as the operator's journal sees it, for as long as the scope
// lives: the run begins (and its row is committed) when it is made, every
// message the window is shown meanwhile is recorded, and the run ends when it
// goes. Without a journal it does nothing. An upload mode makes one right
// after it has claimed the uploader:
//
//     upload::JournalRun journalled(*this, "全部上传");

#include "support/MainWindow.h"

#include <optional>
#include <string>

class CAccountUploader;
namespace journal {
class IJournal;
}

namespace upload {

class JournalRun {
public:
    JournalRun(CAccountUploader& uploader, const char* mode);
    // Ends the run; a problem the journal had is told to the operator once.
    ~JournalRun();
    JournalRun(const JournalRun&) = delete;
    JournalRun& operator=(const JournalRun&) = delete;

private:
    // Stands in for the window during the run and hands everything on.
    class Recorder : public IMainWindow {
    public:
        Recorder(IMainWindow* window, journal::IJournal& journal)
            : m_window(window), m_journal(journal) {}
        void ShowMessage(const std::string& text) override;
        void PumpMessages() override;

    private:
        IMainWindow* m_window;
        journal::IJournal& m_journal;
    };

    CAccountUploader& m_uploader;
    journal::IJournal* m_journal;
    IMainWindow* m_window;
    std::optional<Recorder> m_recorder;
};

} // namespace upload
