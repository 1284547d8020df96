#pragma once
// The gateway's side of an encrypted link: its certificate and key, read from
// PEM files, as the configuration every accepted connection uses.

#include <QSslConfiguration>

#include <string>

// False with `error` when TLS is unavailable or a file is missing or not PEM.
bool LoadServerTls(const std::string& certFile, const std::string& keyFile,
                   QSslConfiguration& configuration, std::string& error);
