#pragma once
// Keys and certificates made with the openssl command in a temporary folder,
// for one test run; nothing of them is kept in the repository.

#include <QTemporaryDir>

#include <string>

struct TestCertificates {
    // Makes a certificate authority and two gateway certificates it signs:
    // one naming 127.0.0.1, one naming another host. False with `error` when
    // the openssl command is missing or fails.
    bool Make(std::string& error);

    std::string authority;     // the authority's certificate, PEM
    std::string loopbackCert;  // names 127.0.0.1
    std::string otherHostCert; // names gateway.invalid only
    std::string key;           // the key of both gateway certificates
    std::string strangerCert;  // self-signed, 127.0.0.1, trusted by nobody
    std::string strangerKey;

private:
    bool Run(const QStringList& arguments, std::string& error);
    QTemporaryDir m_dir;
};
