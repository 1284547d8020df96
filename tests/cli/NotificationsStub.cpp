// quillmark-notifications-stub RECORD -- PROGRAM ARG...
// Stands in for the desktop's notifications service on a private session bus
// (started by dbus-run-session): takes the name org.freedesktop.Notifications,
// appends the summary and body of every notification to RECORD, runs PROGRAM
// with its output passed through, and ends with its exit status.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>

class NotificationsStub : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit NotificationsStub(QString record) : m_record(std::move(record)) {}

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout) {
        (void)replacesId;
        (void)appIcon;
        (void)actions;
        (void)hints;
        (void)expireTimeout;
        QFile file(m_record);
        if (file.open(QIODevice::Append)) {
            file.write(("app: " + appName + "\nsummary: " + summary + "\nbody: " + body + "\n--\n")
                           .toUtf8());
        }
        return ++m_count;
    }

private:
    QString m_record;
    uint m_count = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4 || args[2] != QStringLiteral("--")) {
        std::fprintf(stderr, "usage: quillmark-notifications-stub RECORD -- PROGRAM ARG...\n");
        return 2;
    }
    NotificationsStub stub(args[1]);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &stub,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "quillmark-notifications-stub: cannot serve on the session bus\n");
        return 2;
    }
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setInputChannelMode(QProcess::ForwardedInputChannel);
    QObject::connect(&program, &QProcess::finished, &app,
                     [&app](int code, QProcess::ExitStatus status) {
                         app.exit(status == QProcess::NormalExit ? code : 125);
                     });
    QObject::connect(&program, &QProcess::errorOccurred, &app,
                     [&app](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             app.exit(127);
                     });
    program.start(args[3], args.mid(4));
    return app.exec();
}

#include "NotificationsStub.moc"
