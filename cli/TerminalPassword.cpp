// The one POSIX-only file of the terminal front end: reading a line from the
// controlling terminal with echo switched off.

#include "cli/PasswordInput.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

int g_ttyFd = -1;
termios g_savedMode{};

// Ctrl-C while the echo is off must not leave the operator's terminal mute.
extern "C" void RestoreEchoAndDie(int signalNumber) {
    if (g_ttyFd >= 0)
        tcsetattr(g_ttyFd, TCSAFLUSH, &g_savedMode);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

std::optional<std::string> AskPasswordOnTerminal(const std::string& prompt) {
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    termios mode{};
    if (tcgetattr(fd, &mode) != 0) {
        close(fd);
        return std::nullopt;
    }
    g_ttyFd = fd;
    g_savedMode = mode;
    auto previousInt = std::signal(SIGINT, RestoreEchoAndDie);
    auto previousTerm = std::signal(SIGTERM, RestoreEchoAndDie);

    termios silent = mode;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    silent.c_lflag |= ECHONL;
    tcsetattr(fd, TCSAFLUSH, &silent);
    WriteAll(fd, prompt);

    std::string line;
    bool tooLong = false;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') {
        if (line.size() == kMaxPasswordLength)
            tooLong = true;
        else
            line += c;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();

    tcsetattr(fd, TCSAFLUSH, &mode);
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    g_ttyFd = -1;
    close(fd);
    if (tooLong)
        return std::nullopt;
    return line;
}
