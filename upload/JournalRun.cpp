#include "upload/JournalRun.h"

#include "accounts/AccountUploader.h"
#include "journal/Journal.h"
#include "support/Communication.h"

namespace upload {

void JournalRun::Recorder::ShowMessage(const std::string& text) {
    m_journal.Shown(text);
    if (m_window != nullptr)
        m_window->ShowMessage(text);
}

void JournalRun::Recorder::PumpMessages() {
    if (m_window != nullptr)
        m_window->PumpMessages();
}

JournalRun::JournalRun(CAccountUploader& uploader, const char* mode)
    : m_uploader(uploader), m_journal(uploader.m_pJournal), m_window(uploader.m_hMainWnd) {
    if (m_journal == nullptr)
        return;
    journal::RunStart start;
    start.mode = mode;
    start.workDir = uploader.WorkPath();
    if (CCommunication* comm = GetGolbalCommunicaHandle())
        start.headerMode = comm->GetHeaderMode();
    m_journal->BeginRun(start);
    m_uploader.m_hMainWnd = &m_recorder.emplace(m_window, *m_journal);
}

JournalRun::~JournalRun() {
    if (m_journal == nullptr)
        return;
    m_uploader.m_hMainWnd = m_window;
    m_journal->EndRun();
    const std::string problem = m_journal->TakeProblem();
    if (!problem.empty() && m_window != nullptr)
        m_window->ShowMessage(problem);
}

} // namespace upload
