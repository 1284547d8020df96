// quillmark-gateway as a program: add-operator with the password on standard
// input, the first line naming the real port, a login through it.

#include "support/net/NetworkCommunication.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString kProgram = QStringLiteral(QUILLMARK_GATEWAY_PROGRAM);

int AddOperator(const QString& file, const QStringList& extra, const QByteArray& password) {
    QProcess add;
    add.start(kProgram, QStringList{"add-operator", "--operators", file} + extra);
    add.write(password);
    add.closeWriteChannel();
    add.waitForFinished(30000);
    return add.exitStatus() == QProcess::NormalExit ? add.exitCode() : -1;
}

TEST(GatewayProgramTest, AddOperatorThenServeOnAFreePortAndLogIn) {
    QTemporaryDir dir;
    const QString operators = dir.path() + "/operators";
    ASSERT_EQ(AddOperator(operators, {"--participant", "P0000042", "carol"}, "pass word\n"), 0);
    EXPECT_NE(AddOperator(operators, {"dave"}, ""), 0); // no password, no operator
    QFile file(operators);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("pass word"));

    QProcess gateway;
    gateway.start(kProgram, {"--listen", "127.0.0.1:0", "--operators", operators});
    ASSERT_TRUE(gateway.waitForStarted(30000));
    std::string line;
    while (line.find('\n') == std::string::npos && gateway.waitForReadyRead(30000))
        line += gateway.readAllStandardOutput().toStdString();
    ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << line;
    const std::string port =
        line.substr(line.rfind(':') + 1, line.find('\n') - line.rfind(':') - 1);
    EXPECT_NE(port, "0");

    CNetworkCommunication comm;
    EXPECT_LT(comm.Login("", "carol", "pass word\n", "ZANTHO00", "E0", "127.0.0.1", port), 0);
    ASSERT_EQ(comm.Login("", "carol", "pass word", "ZANTHO00", "E0", "127.0.0.1", port), 0)
        << comm.LastErrorText;
    EXPECT_EQ(comm.CommString1, "P0000042");
    comm.Close();

    gateway.terminate();
    gateway.waitForFinished(30000);
    const QByteArray log = gateway.readAllStandardError();
    EXPECT_TRUE(log.contains("operator=carol")) << log.toStdString();
    EXPECT_FALSE(log.contains("pass word"));
}

TEST(GatewayProgramTest, TheStoreItsWalAndShmAndANewDirectoryForThemAreTheOwnersAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString store = dir.path() + "/new-dir/store.db";
    QProcess gateway;
    gateway.start(kProgram, {"--listen", "127.0.0.1:0", "--db", store});
    ASSERT_TRUE(gateway.waitForStarted(10000));
    std::string line;
    while (line.find('\n') == std::string::npos && gateway.waitForReadyRead(10000))
        line += gateway.readAllStandardOutput().toStdString();
    ASSERT_EQ(line.rfind("listening on", 0), 0u) << "waited for the gateway to listen: " << line;
    const auto mode = [](const QString& path) {
        struct stat info;
        return ::stat(path.toLocal8Bit().constData(), &info) == 0
                   ? static_cast<int>(info.st_mode & 07777)
                   : -1;
    };
    EXPECT_EQ(mode(dir.path() + "/new-dir"), 0700);
    for (const QString& file : {store, store + "-wal", store + "-shm"})
        EXPECT_EQ(mode(file), 0600) << file.toStdString();
    gateway.terminate();
    gateway.waitForFinished(10000);
}

TEST(GatewayProgramTest, ABadCommandLineIsRefusedWithUsage) {
    QProcess gateway;
    gateway.start(kProgram, {"--listen", "nowhere"});
    ASSERT_TRUE(gateway.waitForFinished(30000));
    EXPECT_EQ(gateway.exitCode(), 2);
    EXPECT_TRUE(gateway.readAllStandardError().contains("usage:"));
}

} // namespace
