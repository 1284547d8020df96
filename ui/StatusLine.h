#pragma once
// The line at the foot of the main window: the status text of long operations
// (set and cleared only through ShowStatus), beside it the progress of a
// request under way (bytes moved, seconds waited) and the count and bar of a
// per-record upload. Each text stays on one line: when the line is too short
// for them all, each is cut at a character boundary and ends in "…", its
// whole text in its tool tip.

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <string>

class QLabel;
class QProgressBar;

class CStatusLine : public QWidget {
    Q_OBJECT

public:
    explicit CStatusLine(QWidget* parent = nullptr);

    // Shows `text` (UTF-8); "" clears it. Painted at once, since the caller
    // may block the event loop right after (the login waits on the gateway).
    void ShowStatus(const std::string& text);
    QString StatusText() const { return m_text; }

    // The progress of a request under way: `text` in the line, `detail` as its
    // tool tip; an empty text hides it.
    void ShowWait(const QString& text, const QString& detail);
    QString WaitText() const;

    // Records `done` of `total`; a total of 0 or less hides the progress.
    void ShowProgress(int done, int total);
    bool ProgressVisible() const;
    QString ProgressText() const;

    // What each part shows now, as drawn (cut with "…" when too long).
    QString ShownStatus() const;
    QString ShownWait() const;
    QString ShownProgress() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyProgress();
    // Shares the line's width out among the visible parts and cuts their texts.
    void Relayout();

    QString m_text;
    QString m_waitText;
    QString m_waitDetail;
    QLabel* m_label;
    QLabel* m_wait;
    QLabel* m_count;
    QProgressBar* m_progress;
    QTimer m_progressTimer;
    QElapsedTimer m_lastProgress;
    int m_done = 0;
    int m_total = 0;
    bool m_progressShown = false;
    static constexpr qint64 kProgressEveryMs = 16;
};
