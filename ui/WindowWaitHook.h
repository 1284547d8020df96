#pragma once
// The window's side of a request that keeps the communication object waiting:
// the window goes on painting, the status line shows the bytes moved and the
// seconds waited, and mouse and key input given meanwhile is dropped (not
// delayed: a click on an upload button must not start another run later).

#include "support/WaitHook.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class CStatusLine;

class CWindowWaitHook : public QObject, public IWaitHook {
    Q_OBJECT

public:
    // `ended` runs after each wait that was reported, once input flows again.
    CWindowWaitHook(CStatusLine* statusLine, std::function<void()> ended,
                    QObject* parent = nullptr);
    ~CWindowWaitHook() override;

    void OnWaiting(const WaitProgress& progress) override;
    void OnWaitEnded() override;
    // Paints and runs timers; input waits for the end of the request, as a
    // request that ends quickly never held it up.
    void OnWaitUnreported() override;
    // Paints between slices of the tool's own long steps; input given
    // meanwhile is dropped as during a wait.
    void OnBusy() override;

    // True between the first report of a request and its end.
    bool IsWaiting() const { return m_waiting; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void StopFiltering();

    CStatusLine* m_statusLine;
    std::function<void()> m_ended;
    QElapsedTimer m_lastShown;
    bool m_waiting = false;
    bool m_busy = false; // inside OnBusy
};
