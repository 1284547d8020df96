#pragma once
// One running copy per user. A lock file named after "Quillmark_Mutex" in the
// user's runtime directory marks a running copy; a lock left by a copy that
// died (a crash included) is found stale and taken over, so nothing can lock
// the operator out.

#include <QLockFile>
#include <QString>

#include <memory>

class CSingleInstanceLock {
public:
    enum class Result { Acquired, AlreadyRunning, Unavailable };

    // The lock file `directory`/`name`.lock; an empty directory means the
    // user's runtime directory.
    explicit CSingleInstanceLock(QString directory = QString(),
                                 QString name = QStringLiteral("Quillmark_Mutex"));
    ~CSingleInstanceLock();
    CSingleInstanceLock(const CSingleInstanceLock&) = delete;
    CSingleInstanceLock& operator=(const CSingleInstanceLock&) = delete;

    // Never waits. Unavailable: the lock could not be made (the directory is
    // not writable, say); the program then runs without the guard.
    Result Acquire();
    void Release();
    QString FilePath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
