#include "ui/QtMessagePump.h"

#include <QCoreApplication>

void CQtMessagePump::PumpMessages() {
    // Posted events first (queued list updates among them), then whatever
    // the window system has waiting; processEvents returns once none is left.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
