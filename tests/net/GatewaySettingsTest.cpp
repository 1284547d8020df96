#include "support/net/NetworkCommunication.h"
#include "support/settings/Settings.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

class GatewaySettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVariables)
            unsetenv(name);
        setenv("XDG_CONFIG_HOME", home.path().toLocal8Bit().constData(), 1);
    }
    void TearDown() override {
        for (const char* name : kVariables)
            unsetenv(name);
        unsetenv("XDG_CONFIG_HOME");
    }
    void WriteFile(const std::string& text) {
        QDir(home.path()).mkpath("quillmark");
        std::ofstream(settings::FilePath()) << text;
    }
    static constexpr const char* kVariables[] = {"QUILLMARK_GATEWAY_ADDRESS",
                                                 "QUILLMARK_GATEWAY_PORT", "QUILLMARK_TIMEOUT_MS"};
    QTemporaryDir home;
};

TEST_F(GatewaySettingsTest, LoopbackDefaultsWithoutEnvironmentOrFile) {
    const settings::Settings settings = settings::Read();
    EXPECT_EQ(settings.gatewayAddress, "127.0.0.1");
    EXPECT_EQ(settings.gatewayPort, 7070);
    EXPECT_EQ(settings.timeoutMs, 10000);
    EXPECT_EQ(settings::FilePath(), home.path().toStdString() + "/quillmark/quillmark.conf");
}

TEST_F(GatewaySettingsTest, TheFileIsReadAndTheEnvironmentWinsValueByValue) {
    WriteFile("[gateway]\naddress=10.1.2.3\nport=9000\ntimeout_ms=2500\n");
    settings::Settings settings = settings::Read();
    EXPECT_EQ(settings.gatewayAddress, "10.1.2.3");
    EXPECT_EQ(settings.gatewayPort, 9000);
    EXPECT_EQ(settings.timeoutMs, 2500);

    setenv("QUILLMARK_GATEWAY_PORT", "7171", 1);
    setenv("QUILLMARK_TIMEOUT_MS", "not a number", 1); // ignored: the file's value stands
    settings = settings::Read();
    EXPECT_EQ(settings.gatewayAddress, "10.1.2.3");
    EXPECT_EQ(settings.gatewayPort, 7171);
    EXPECT_EQ(settings.timeoutMs, 2500);
}

TEST_F(GatewaySettingsTest, OutOfRangeValuesFallThrough) {
    WriteFile("[gateway]\nport=70000\n");
    setenv("QUILLMARK_GATEWAY_PORT", "0", 1);
    EXPECT_EQ(settings::Read().gatewayPort, 7070);
}

TEST_F(GatewaySettingsTest, TheCommunicationObjectStartsWithTheSettings) {
    setenv("QUILLMARK_GATEWAY_ADDRESS", "192.168.0.9", 1);
    setenv("QUILLMARK_GATEWAY_PORT", "7272", 1);
    setenv("QUILLMARK_TIMEOUT_MS", "1234", 1);
    CNetworkCommunication comm;
    EXPECT_EQ(comm.DefaultGatewayAddress, "192.168.0.9");
    EXPECT_EQ(comm.DefaultGatewayPort, 7272);
    EXPECT_EQ(comm.TimeoutMs(), 1234);
}

} // namespace
