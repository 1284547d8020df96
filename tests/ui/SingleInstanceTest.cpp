// One running copy per user, checked with real processes: a second copy is
// refused while the first runs and accepted once it has ended, also when the
// first one died without cleaning up.

#include "app/SingleInstance.h"
#include "app/StartupOptions.h"
#include "quillmark/Version.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Starts the probe on `dir` and returns its first line of output.
QString StartProbe(QProcess& probe, const QString& dir) {
    probe.start(QStringLiteral(QUILLMARK_INSTANCE_PROBE), {dir});
    if (!probe.waitForStarted(30000) || !probe.waitForReadyRead(30000))
        return QStringLiteral("no answer");
    return QString::fromLocal8Bit(probe.readLine()).trimmed();
}

QString Probe(const QString& dir) {
    QProcess probe;
    const QString answer = StartProbe(probe, dir);
    probe.closeWriteChannel();
    probe.waitForFinished(30000);
    return answer;
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void aSecondCopyIsRefusedWhileTheFirstRunsAndAcceptedAfter() {
        QTemporaryDir dir;
        QProcess first;
        QCOMPARE(StartProbe(first, dir.path()), QStringLiteral("acquired"));
        QCOMPARE(Probe(dir.path()), QStringLiteral("running"));
        QCOMPARE(Probe(dir.path()), QStringLiteral("running"));

        first.write("\n");
        QVERIFY(first.waitForFinished(30000));
        QVERIFY(first.readAll().contains("released"));
        QCOMPARE(Probe(dir.path()), QStringLiteral("acquired"));
    }

    void aSecondCopyAsksTheFirstToComeForward() {
        QTemporaryDir dir;
        QProcess first;
        QCOMPARE(StartProbe(first, dir.path()), QStringLiteral("acquired"));
        QProcess second;
        QCOMPARE(StartProbe(second, dir.path()), QStringLiteral("running"));
        QVERIFY2(second.waitForFinished(30000), "waited for the second copy to end");
        QCOMPARE(QString::fromLocal8Bit(second.readAll()).trimmed(), QStringLiteral("asked"));
        QTRY_VERIFY2_WITH_TIMEOUT(first.canReadLine() || first.waitForReadyRead(100),
                                  "waited for the first copy to hear the request", 30000);
        QCOMPARE(QString::fromLocal8Bit(first.readLine()).trimmed(),
                 QStringLiteral("request come-forward"));

        // The channel lives in a directory closed to other users.
        const QFileInfo socketDir(dir.filePath(QStringLiteral("quillmark")));
        QVERIFY(socketDir.isDir());
        QCOMPARE(
            int(socketDir.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                           QFile::ReadOther | QFile::WriteOther | QFile::ExeOther)),
            0);
        first.write("\n");
        QVERIFY(first.waitForFinished(30000));
    }

    void aCopyThatDiedLeavesNoLockAndNoChannelBehind() {
        QTemporaryDir dir;
        QProcess crashed;
        QCOMPARE(StartProbe(crashed, dir.path()), QStringLiteral("acquired"));
        crashed.kill(); // no chance to clean up
        QVERIFY(crashed.waitForFinished(30000));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("Quillmark_Mutex.lock"))));
        QProcess next;
        QCOMPARE(StartProbe(next, dir.path()), QStringLiteral("acquired"));
        // The dead copy's socket was replaced: the next copy hears requests.
        QCOMPARE(Probe(dir.path()), QStringLiteral("running"));
        QVERIFY(next.waitForReadyRead(30000));
        QCOMPARE(QString::fromLocal8Bit(next.readLine()).trimmed(),
                 QStringLiteral("request come-forward"));
        next.write("\n");
        QVERIFY(next.waitForFinished(30000));
    }

    void anUnwritableLockDirectoryLeavesTheProgramUnguarded() {
        CSingleInstanceLock lock(QStringLiteral("/nonexistent/quillmark-test"));
        QCOMPARE(lock.Acquire(), CSingleInstanceLock::Result::Unavailable);
    }

    void theProgramHoldsTheLockInTheUsersRuntimeDirectory() {
        QTemporaryDir runtime;
        QTemporaryDir work;
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(QUILLMARK_PROGRAM),
                      {QStringLiteral("--workdir"), work.path()});
        QVERIFY(program.waitForStarted(30000));
        const QString lockFile = runtime.filePath(QStringLiteral("Quillmark_Mutex.lock"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockFile), 30000);
        QCOMPARE(Probe(runtime.path()), QStringLiteral("running"));
        program.kill();
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(Probe(runtime.path()), QStringLiteral("acquired"));
    }

    void versionIsPrintedWithoutADisplay() {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(QUILLMARK_PROGRAM), {QStringLiteral("--version")});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(program.readAllStandardOutput()).trimmed(),
                 QStringLiteral("Quillmark ") + QLatin1String(quillmark::kVersion));
    }

    void commandLineOptions() {
        StartupOptions options = ParseStartupOptions({"quillmark", "--workdir", "/data/work"});
        QVERIFY(options.error.isEmpty());
        QCOMPARE(options.workDir, QStringLiteral("/data/work"));
        QVERIFY(!ParseStartupOptions({"quillmark", "--bogus"}).error.isEmpty());
        QVERIFY(!ParseStartupOptions({"quillmark", "stray"}).error.isEmpty());
        QVERIFY(!ParseStartupOptions({"quillmark", "--workdir"}).error.isEmpty());
        QVERIFY(ParseStartupOptions({"quillmark", "--bogus", "--version"}).showVersion);
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
