// Test helper: tries the single-copy lock in the directory given as its first
// argument and prints "acquired", "running" or "unavailable". Holding the
// lock, it listens on the channel for later copies, prints "request LINE" for
// each request, and lets go at a line on stdin (or its end). Refused, it asks
// the running copy to come forward and prints "asked" or "not asked: WHY".

#include "app/InstanceChannel.h"
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: quillmark_instance_probe LOCKDIR\n", stderr);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    CSingleInstanceLock lock(dir);
    CInstanceChannel channel(dir);
    switch (lock.Acquire()) {
    case CSingleInstanceLock::Result::Acquired:
        break;
    case CSingleInstanceLock::Result::AlreadyRunning: {
        std::cout << "running" << std::endl;
        const QString why = channel.Ask(QString::fromLatin1(CInstanceChannel::kComeForward));
        std::cout << (why.isEmpty() ? std::string("asked") : "not asked: " + why.toStdString())
                  << std::endl;
        return 0;
    }
    case CSingleInstanceLock::Result::Unavailable:
        std::cout << "unavailable" << std::endl;
        return 0;
    }
    const QString why = channel.Listen([](const QString& request) {
        std::cout << "request " << request.toStdString() << std::endl;
    });
    if (!why.isEmpty())
        std::cout << "no channel: " << why.toStdString() << std::endl;
    std::cout << "acquired" << std::endl;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char byte = 0;
        if (::read(STDIN_FILENO, &byte, 1) <= 0 || byte == '\n')
            app.quit();
    });
    app.exec();
    lock.Release();
    std::cout << "released" << std::endl;
    return 0;
}
