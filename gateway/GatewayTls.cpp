#include "gateway/GatewayTls.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

namespace {

bool ReadAll(const std::string& path, QByteArray& bytes, std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path + ": " + file.errorString().toStdString();
        return false;
    }
    bytes = file.readAll();
    return true;
}

} // namespace

bool LoadServerTls(const std::string& certFile, const std::string& keyFile,
                   QSslConfiguration& configuration, std::string& error) {
    if (!QSslSocket::supportsSsl()) {
        error = "TLS is not available: no TLS backend with OpenSSL could be loaded";
        return false;
    }
    QByteArray certBytes;
    QByteArray keyBytes;
    if (!ReadAll(certFile, certBytes, error) || !ReadAll(keyFile, keyBytes, error))
        return false;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certBytes, QSsl::Pem);
    if (chain.isEmpty()) {
        error = "no PEM certificate in " + certFile;
        return false;
    }
    QSslKey key(keyBytes, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyBytes, QSsl::Ec, QSsl::Pem);
    // The key is in memory now; the bytes read need not stay there too.
    keyBytes.fill('\0');
    if (key.isNull()) {
        error = "no unencrypted PEM RSA or EC key in " + keyFile;
        return false;
    }
    configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // clients have no certificates
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    return true;
}
