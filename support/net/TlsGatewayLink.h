#pragma once
// A gateway link over TLS. The gateway's certificate must verify against the
// system's authorities, or those of a PEM file given, and must name the
// address connected to; a link that cannot be set up that way is refused, never
// carried on in the clear.

#include "support/net/GatewayLink.h"

#include <string>

class TlsGatewayLink : public GatewayLink {
public:
    // `caFile`: extra authorities (PEM) to trust besides the system's; may be "".
    TlsGatewayLink(int timeoutMs, std::string caFile);

protected:
    std::unique_ptr<QTcpSocket> CreateSocket() override;
    void StartConnection(QTcpSocket& socket, const QString& host, quint16 port) override;
    LinkError FinishConnection(QTcpSocket& socket, int timeoutMs, std::string& detail) override;

private:
    std::string m_caFile;
};
