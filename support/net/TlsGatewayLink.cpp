#include "support/net/TlsGatewayLink.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

TlsGatewayLink::TlsGatewayLink(int timeoutMs, std::string caFile)
    : GatewayLink(timeoutMs), m_caFile(std::move(caFile)) {}

std::unique_ptr<QTcpSocket> TlsGatewayLink::CreateSocket() {
    auto socket = std::make_unique<QSslSocket>();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    if (!m_caFile.empty()) {
        QList<QSslCertificate> authorities = configuration.caCertificates();
        authorities += QSslCertificate::fromPath(QString::fromStdString(m_caFile), QSsl::Pem);
        configuration.setCaCertificates(authorities);
    }
    socket->setSslConfiguration(configuration);
    return socket;
}

void TlsGatewayLink::StartConnection(QTcpSocket& socket, const QString& host, quint16 port) {
    static_cast<QSslSocket&>(socket).connectToHostEncrypted(host, port);
}

LinkError TlsGatewayLink::FinishConnection(QTcpSocket& socket, int timeoutMs, std::string& detail) {
    auto& tls = static_cast<QSslSocket&>(socket);
    if (!QSslSocket::supportsSsl()) {
        detail = "TLS is not available (no OpenSSL backend)";
        return LinkError::Insecure;
    }
    if (tls.waitForEncrypted(timeoutMs))
        return LinkError::None;
    const QList<QSslError> errors = tls.sslHandshakeErrors();
    detail = (errors.isEmpty() ? tls.errorString() : errors.front().errorString()).toStdString();
    if (errors.isEmpty() && tls.error() == QAbstractSocket::SocketTimeoutError &&
        tls.state() == QAbstractSocket::ConnectedState)
        return LinkError::Timeout;
    return LinkError::Insecure;
}
