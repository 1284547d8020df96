// The demo operator's NAME:PASSWORD reaches the simulator through its
// environment; once read, it is gone from the process's own environment block,
// which anyone allowed to read /proc/PID/environ would see for its life.

#include "GatewayProcess.h"

#include "support/net/NetworkCommunication.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray EnvironmentBlock(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/environ").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(EnvironmentSecretTest, TheDemoOperatorIsWipedFromProcEnviron) {
    QTemporaryDir dir;
    GatewayProcess gateway;
    std::string error;
    ASSERT_TRUE(gateway.Start(
        {},
        {"QUILLMARK_GATEWAY_DEMO_OPERATOR=frank:Env-口令-4711", "QUILLMARK_TEST_NEIGHBOUR=kept"},
        dir.path() + "/gateway.log", error))
        << error;

    // Read only after the port is announced: by then the variable was taken.
    const QByteArray block = EnvironmentBlock(gateway.Pid());
    ASSERT_TRUE(block.contains("QUILLMARK_TEST_NEIGHBOUR=kept")) << "cannot read the block";
    EXPECT_FALSE(block.contains("QUILLMARK_GATEWAY_DEMO_OPERATOR"));
    EXPECT_FALSE(block.contains("Env-"));
    EXPECT_FALSE(block.contains(QByteArray("口令")));
    EXPECT_FALSE(block.contains("frank"));

    // And the operator it named can still log in.
    CNetworkCommunication comm;
    EXPECT_EQ(
        comm.Login("", "frank", "Env-口令-4711", "ZANTHO00", "E0", "127.0.0.1", gateway.Port()), 0)
        << comm.LastErrorText;
    comm.Close();
    gateway.Stop();
}

} // namespace
