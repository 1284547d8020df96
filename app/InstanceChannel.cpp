#include "app/InstanceChannel.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// A request longer than this is not one of ours.
constexpr qint64 kMaxRequest = 256;
} // namespace

CInstanceChannel::CInstanceChannel(QString directory, QString name, QObject* parent)
    : QObject(parent) {
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty())
        directory = QDir::tempPath();
    m_socketPath =
        QDir(directory).filePath(QStringLiteral("quillmark/") + name + QStringLiteral(".socket"));
}

CInstanceChannel::~CInstanceChannel() = default;

QString CInstanceChannel::MakePrivateDirectory() const {
    const QString dir = QFileInfo(m_socketPath).absolutePath();
    const QByteArray path = QFile::encodeName(dir);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("cannot make %1").arg(dir);
    struct stat info {};
    // Another user's directory, or a link to one, would let them listen instead.
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid())
        return QStringLiteral("%1 is not the user's own directory").arg(dir);
    if ((info.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0)
        return QStringLiteral("cannot close %1 to others").arg(dir);
    return {};
}

QString CInstanceChannel::Listen(std::function<void(const QString&)> onRequest) {
    if (const QString why = MakePrivateDirectory(); !why.isEmpty())
        return why;
    m_onRequest = std::move(onRequest);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // The caller holds the lock: a socket left here is a dead copy's.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath))
        return m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    const QString request =
                        QString::fromUtf8(socket->readLine(kMaxRequest)).trimmed();
                    if (m_onRequest)
                        m_onRequest(request);
                }
                if (socket->bytesAvailable() > kMaxRequest)
                    socket->abort();
            });
        }
    });
    return {};
}

QString CInstanceChannel::Ask(const QString& request, int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(timeoutMs))
        return socket.errorString();
    socket.write(request.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return socket.errorString();
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return {};
}
