// The password never leaves the operator's hands in writing: not in the
// gateway's log, output, store or operators file, not in the client's texts,
// not in quillmark-cli's output. The operators file is its owner's alone.

#include "GatewayFixture.h"
#include "GatewayProcess.h"

#include "support/Text.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fstream>

namespace {

const std::string kSecret = "Zq9-口令-pw";
const std::string kWrongSecret = "Wx7-错误-pw";

// The password in any form our programs could write it: as typed, as GBK.
bool Holds(const QByteArray& bytes, const std::string& secret) {
    return bytes.contains(QByteArray::fromStdString(secret)) ||
           bytes.contains(QByteArray::fromStdString(text::Utf8ToGbk(secret))) ||
           bytes.contains(QByteArray::fromStdString(secret).toHex()) ||
           bytes.contains(QByteArray::fromStdString(secret).toBase64());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int AddOperator(const QString& file, const std::string& name, const std::string& password,
                QByteArray& output) {
    QProcess add;
    add.start(QStringLiteral(QUILLMARK_GATEWAY_PROGRAM),
              {"add-operator", "--operators", file, QString::fromStdString(name)});
    add.write(QByteArray::fromStdString(password + "\n"));
    add.closeWriteChannel();
    add.waitForFinished(30000);
    output = add.readAllStandardOutput() + add.readAllStandardError();
    return add.exitStatus() == QProcess::NormalExit ? add.exitCode() : -1;
}

bool OwnerOnly(const QString& path) {
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    return QFile::exists(path) && (QFile::permissions(path) & others) == 0;
}

TEST(SecretsTest, TheOperatorsFileIsTheOwnersAloneAndHoldsNoPassword) {
    QTemporaryDir dir;
    const QString operators = dir.path() + "/operators";
    QByteArray output;
    ASSERT_EQ(AddOperator(operators, "alice", kSecret, output), 0) << output.toStdString();
    EXPECT_TRUE(OwnerOnly(operators));
    EXPECT_FALSE(Holds(output, kSecret));

    // A file someone opened up is closed again when it is rewritten.
    ASSERT_TRUE(QFile::setPermissions(operators, QFile::permissions(operators) |
                                                     QFileDevice::ReadGroup |
                                                     QFileDevice::ReadOther));
    ASSERT_EQ(AddOperator(operators, "bob", kWrongSecret, output), 0) << output.toStdString();
    EXPECT_TRUE(OwnerOnly(operators));
    const QByteArray contents = ReadFile(operators);
    EXPECT_TRUE(contents.contains("alice") && contents.contains("bob"));
    EXPECT_FALSE(Holds(contents, kSecret));
    EXPECT_FALSE(Holds(contents, kWrongSecret));
}

TEST(SecretsTest, TheGatewayWritesNoPasswordToItsLogOutputOrStore) {
    QTemporaryDir dir;
    const QString operators = dir.path() + "/operators";
    const QString db = dir.path() + "/store.db";
    const QString log = dir.path() + "/gateway.log";
    QByteArray output;
    ASSERT_EQ(AddOperator(operators, "alice", kSecret, output), 0) << output.toStdString();
    GatewayProcess gateway;
    std::string error;
    ASSERT_TRUE(gateway.Start({"--operators", operators, "--db", db}, {}, log, error)) << error;

    CNetworkCommunication comm;
    EXPECT_LT(comm.Login("", "alice", kWrongSecret, "ZANTHO00", "E0", "127.0.0.1", gateway.Port()),
              0);
    EXPECT_LT(comm.Login("", "nobody", kSecret, "ZANTHO00", "E0", "127.0.0.1", gateway.Port()), 0);
    ASSERT_EQ(comm.Login("", "alice", kSecret, "ZANTHO00", "E0", "127.0.0.1", gateway.Port()), 0)
        << comm.LastErrorText;
    EXPECT_EQ(Upload(comm, WireBody({ReserveRequest("B880000001", "上海测试证券")}, comm)).rc, 0)
        << comm.LastErrorText;
    comm.Close();
    gateway.Stop();

    const QByteArray logged = ReadFile(log);
    EXPECT_TRUE(logged.contains("operator=alice")) << logged.toStdString();
    for (const QByteArray& written : {logged, gateway.StandardOutput(), ReadFile(db),
                                      ReadFile(db + "-wal"), ReadFile(operators)}) {
        EXPECT_FALSE(Holds(written, kWrongSecret));
        EXPECT_FALSE(Holds(written, kSecret));
    }
}

class ClientSecretsTest : public GatewayFixture {};

TEST_F(ClientSecretsTest, TheClientsTextsNeverCarryThePassword) {
    StartGateway();
    CNetworkCommunication comm;
    std::vector<std::string> shown;
    comm.SetStatusSink([&](const std::string& text) { shown.push_back(text); });
    EXPECT_LT(Login(comm, "alice", kWrongSecret), 0);
    shown.push_back(comm.LastErrorText);
    EXPECT_LT(comm.Login("", "alice", kWrongSecret, "ZANTHO00", "E0", "127.0.0.1", "0"), 0);
    shown.push_back(comm.LastErrorText);
    ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0);
    shown.push_back(comm.LastErrorText);
    for (const std::string& text : shown) {
        EXPECT_EQ(text.find(kWrongSecret), std::string::npos) << text;
        EXPECT_EQ(text.find(kAlicePassword), std::string::npos) << text;
    }
    for (const std::string& line : log->Copy()) {
        EXPECT_EQ(line.find(kWrongSecret), std::string::npos) << line;
        EXPECT_EQ(line.find(kAlicePassword), std::string::npos) << line;
    }
}

#ifdef QUILLMARK_CLI_PROGRAM
std::string Fixed(const std::string& utf8, std::size_t width) {
    std::string field = text::Utf8ToGbk(utf8);
    field.resize(width, ' ');
    return field;
}

TEST(SecretsTest, TheTerminalToolPrintsNoPassword) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("work/localconfig"));
    const std::string work = dir.path().toStdString() + "/work";
    std::ofstream(work + "/localconfig/agbfj.dat", std::ios::binary)
        << Fixed("B880000001", 18) + Fixed("上海测试证券", 30);
    std::ofstream(work + "/localconfig/yhzh.dat", std::ios::binary)
        << Fixed("0102", 4) + Fixed("6222000011112222", 28) + Fixed("上海测试证券", 30) +
               Fixed("工商银行上海分行", 30) + Fixed("", 30);
    GatewayProcess gateway;
    std::string error;
    ASSERT_TRUE(gateway.Start(
        {}, {QString::fromStdString("QUILLMARK_GATEWAY_DEMO_OPERATOR=alice:" + kSecret)},
        dir.path() + "/gateway.log", error))
        << error;

    for (const std::string& password : {kWrongSecret, kSecret}) {
        QProcess cli;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QUILLMARK_PASSWORD");
        environment.insert("HOME", dir.path());
        environment.remove("XDG_CONFIG_HOME");
        cli.setProcessEnvironment(environment);
        cli.start(QStringLiteral(QUILLMARK_CLI_PROGRAM),
                  {"--workdir", QString::fromStdString(work), "--gateway",
                   QString::fromStdString("127.0.0.1:" + gateway.Port()), "--operator", "alice",
                   "--password-stdin", "load", "upload-all"});
        cli.write(QByteArray::fromStdString(password + "\n"));
        cli.closeWriteChannel();
        ASSERT_TRUE(cli.waitForFinished(60000));
        const QByteArray printed = cli.readAllStandardOutput() + cli.readAllStandardError();
        EXPECT_FALSE(printed.isEmpty());
        EXPECT_FALSE(Holds(printed, password)) << printed.toStdString();
    }
    gateway.Stop();
    EXPECT_FALSE(Holds(ReadFile(dir.path() + "/gateway.log"), kSecret));
}
#endif

} // namespace
