#pragma once
// The local channel beside the single-copy lock: the running copy listens on
// a socket in a directory of the user's own (mode 0700), and a later copy
// connects to ask it for something (today: to come forward) before it ends.
// The daily run is to reuse it. One request is one line of text.

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

class CInstanceChannel : public QObject {
    Q_OBJECT

public:
    // The request that brings the running window forward.
    static constexpr const char* kComeForward = "come-forward";

    // The socket `directory`/quillmark/`name`.socket; an empty directory
    // means the user's runtime directory.
    explicit CInstanceChannel(QString directory = QString(),
                              QString name = QStringLiteral("Quillmark_Mutex"),
                              QObject* parent = nullptr);
    ~CInstanceChannel() override;

    // For the copy that holds the lock: listens, calling `onRequest` with
    // each request's line. Returns "" or why it cannot (the program then runs
    // without the channel).
    QString Listen(std::function<void(const QString&)> onRequest);

    // For a later copy: hands `request` to the running copy. Returns "" once
    // it has gone out, or why not (waits at most `timeoutMs`).
    QString Ask(const QString& request, int timeoutMs = 5000) const;

    QString SocketPath() const { return m_socketPath; }

private:
    // Makes the socket's directory, the user's own and closed to others.
    QString MakePrivateDirectory() const;

    QString m_socketPath;
    QLocalServer* m_server = nullptr;
    std::function<void(const QString&)> m_onRequest;
};
