#include "TestCertificates.h"

#include <QProcess>

bool TestCertificates::Run(const QStringList& arguments, std::string& error) {
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir.path());
    openssl.start("openssl", arguments);
    if (!openssl.waitForStarted(30000)) {
        error = "cannot run openssl: " + openssl.errorString().toStdString();
        return false;
    }
    openssl.waitForFinished(60000);
    if (openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        error = "openssl " + arguments.join(' ').toStdString() + ": " +
                openssl.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

bool TestCertificates::Make(std::string& error) {
    if (!m_dir.isValid()) {
        error = "no temporary folder";
        return false;
    }
    const QStringList newKey{"-newkey", "rsa:2048", "-nodes"};
    // A gateway certificate for `name`, signed by the authority.
    const auto signedFor = [&](const QString& stem, const QString& altName) {
        return Run(QStringList{"req", "-new", "-key", "gateway.key", "-out", stem + ".csr", "-subj",
                               "/CN=quillmark-gateway", "-addext", "subjectAltName=" + altName},
                   error) &&
               Run({"x509", "-req", "-in", stem + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                    "-CAcreateserial", "-days", "2", "-copy_extensions", "copyall", "-out",
                    stem + ".pem"},
                   error);
    };
    const bool made = Run(QStringList{"req", "-x509", "-days", "2", "-keyout", "ca.key", "-out",
                                      "ca.pem", "-subj", "/CN=Quillmark Test Authority", "-addext",
                                      "basicConstraints=critical,CA:TRUE"} +
                              newKey,
                          error) &&
                      Run({"genrsa", "-out", "gateway.key", "2048"}, error) &&
                      signedFor("loopback", "IP:127.0.0.1") &&
                      signedFor("other", "DNS:gateway.invalid") &&
                      Run(QStringList{"req", "-x509", "-days", "2", "-keyout", "stranger.key",
                                      "-out", "stranger.pem", "-subj", "/CN=quillmark-gateway",
                                      "-addext", "subjectAltName=IP:127.0.0.1"} +
                              newKey,
                          error);
    if (!made)
        return false;
    const auto path = [this](const char* name) {
        return (m_dir.path() + "/" + name).toStdString();
    };
    authority = path("ca.pem");
    loopbackCert = path("loopback.pem");
    otherHostCert = path("other.pem");
    key = path("gateway.key");
    strangerCert = path("stranger.pem");
    strangerKey = path("stranger.key");
    return true;
}
