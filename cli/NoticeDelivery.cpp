#include "cli/NoticeDelivery.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstdlib>
#include <iostream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every wait for the bus, the journal or sendmail.
constexpr int kDeliveryWaitMs = 10'000;

QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// True when standard error is the journal's stream ($JOURNAL_STREAM names its
// device and inode), so that a "<4>" prefix sets the line's level.
bool StandardErrorIsTheJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat facts {};
    if (stream == nullptr || fstat(STDERR_FILENO, &facts) != 0)
        return false;
    const std::string expected = std::to_string(facts.st_dev) + ":" + std::to_string(facts.st_ino);
    return expected == stream;
}

// The notice on one line, its body's lines joined by " | ".
std::string OneLine(const RunNotice& notice) {
    std::string line = notice.summary;
    std::istringstream body(notice.body);
    for (std::string part; std::getline(body, part);)
        if (!part.empty())
            line += " | " + part;
    return line;
}

// Runs `program` with `args`, `input` on its standard input; "" when it ended with 0.
std::string RunWithInput(const QString& program, const QStringList& args,
                         const std::string& input) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForStarted(kDeliveryWaitMs))
        return program.toStdString() + " did not start";
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(kDeliveryWaitMs)) {
        process.kill();
        process.waitForFinished(kDeliveryWaitMs);
        return program.toStdString() + " did not end within " +
               std::to_string(kDeliveryWaitMs / 1000) + " s";
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return program.toStdString() + " failed (exit status " +
               std::to_string(process.exitCode()) + ")";
    return "";
}

} // namespace

std::string ShowDesktopNotification(const RunNotice& notice) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return "no session bus: " + bus.lastError().message().toStdString();
    QDBusInterface notifications(QStringLiteral("org.freedesktop.Notifications"),
                                 QStringLiteral("/org/freedesktop/Notifications"),
                                 QStringLiteral("org.freedesktop.Notifications"), bus);
    notifications.setTimeout(kDeliveryWaitMs);
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(2)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.quillmark.Quillmark"));
    const QDBusReply<uint> reply = notifications.call(
        QStringLiteral("Notify"), QStringLiteral("Quillmark"), 0u, QStringLiteral("quillmark"),
        Q(notice.summary), Q(notice.body), QStringList(), hints, -1);
    if (!reply.isValid())
        return "the notifications service did not take it: " +
               reply.error().message().toStdString();
    return "";
}

void WarnInUserJournal(const RunNotice& notice) {
    const std::string line = OneLine(notice);
    if (StandardErrorIsTheJournal()) {
        std::cerr << "<4>" << line << '\n' << std::flush;
        return;
    }
    const QString journalCat = QStandardPaths::findExecutable(QStringLiteral("systemd-cat"));
    if (!journalCat.isEmpty() &&
        RunWithInput(journalCat,
                     {QStringLiteral("-t"), QStringLiteral("quillmark-cli"), QStringLiteral("-p"),
                      QStringLiteral("warning")},
                     line + "\n")
            .empty())
        return;
    std::cerr << "quillmark-cli: warning: " << line << '\n' << std::flush;
}

std::string MailNotice(const std::string& address, const RunNotice& notice) {
    // An address is one word: nothing that sendmail could take for an option
    // or a second header.
    if (address.empty() || address.front() == '-' ||
        address.find_first_of(" \t\r\n,;<>") != std::string::npos)
        return "\"[daily] mail=" + address + "\" is not one mail address";
    QString sendmail = QStandardPaths::findExecutable(QStringLiteral("sendmail"));
    if (sendmail.isEmpty())
        sendmail = QStandardPaths::findExecutable(
            QStringLiteral("sendmail"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/lib")});
    if (sendmail.isEmpty())
        return "no sendmail on this system to mail " + address;
    const std::string mail = "To: " + address + "\nSubject: " + notice.summary +
                             "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
                             "Content-Transfer-Encoding: 8bit\n\n" +
                             notice.body + "\n";
    return RunWithInput(sendmail, {QStringLiteral("-i"), QStringLiteral("--"), Q(address)}, mail);
}
