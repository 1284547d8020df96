#include "LoopbackClients.h"

#include "GatewayFixture.h"
#include "protocol/WireFormat.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int Prepared(const char* source) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const timeval bound{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &from.sin_addr);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

sockaddr_in Gateway(std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    return to;
}

} // namespace

int ConnectFrom(const char* source, std::uint16_t port) {
    const int fd = Prepared(source);
    const sockaddr_in to = Gateway(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int StartConnectFrom(const char* source, std::uint16_t port) {
    const int fd = Prepared(source);
    if (fd < 0)
        return -1;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const sockaddr_in to = Gateway(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string ReadOneReply(int fd) {
    std::string bytes;
    protocol::FrameHeader header;
    bool headerRead = false;
    char buffer[4096];
    for (;;) {
        if (!headerRead && bytes.size() >= protocol::kFrameHeaderLength) {
            if (!protocol::DecodeFrameHeader(bytes.substr(0, protocol::kFrameHeaderLength), header))
                return "?";
            headerRead = true;
        }
        if (headerRead && bytes.size() >= protocol::kFrameHeaderLength + header.length) {
            const std::vector<std::string> codes = ReplyCodes(bytes);
            return codes.empty() ? "?" : codes.front();
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return "closed";
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}
