#include "app/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

CSingleInstanceLock::CSingleInstanceLock(QString directory, QString name) {
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty())
        directory = QDir::tempPath();
    m_path = QDir(directory).filePath(name + QStringLiteral(".lock"));
}

CSingleInstanceLock::~CSingleInstanceLock() {
    Release();
}

CSingleInstanceLock::Result CSingleInstanceLock::Acquire() {
    m_lock = std::make_unique<QLockFile>(m_path);
    // Staleness by the holder's process only: a copy that runs for hours
    // keeps its lock, a copy that died loses it at once.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return Result::Acquired;
    const QLockFile::LockError error = m_lock->error();
    m_lock.reset();
    return error == QLockFile::LockFailedError ? Result::AlreadyRunning : Result::Unavailable;
}

void CSingleInstanceLock::Release() {
    if (m_lock) {
        m_lock->unlock();
        m_lock.reset();
    }
}
