// TLS between the network client and the gateway: off unless asked for, and
// when on, a gateway whose certificate the client cannot verify is refused
// before anything (least of all the password) is sent.

#include "GatewayFixture.h"
#include "TestCertificates.h"

#include "gateway/GatewayOptions.h"
#include "support/Text.h"
#include "support/net/ClientTexts.h"
#include "support/settings/Settings.h"

#include <QSslSocket>
#include <QTemporaryDir>

#include <fstream>

namespace {

class TlsTest : public GatewayFixture {
protected:
    static void SetUpTestSuite() {
        if (!QSslSocket::supportsSsl())
            return;
        certificates = new TestCertificates;
        if (!certificates->Make(makeError)) {
            delete certificates;
            certificates = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete certificates;
        certificates = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(QSslSocket::supportsSsl()) << "Qt's OpenSSL TLS backend is missing";
        ASSERT_NE(certificates, nullptr) << makeError;
    }
    void StartTlsGateway(const std::string& cert, const std::string& key) {
        GatewayConfig config = MakeConfig();
        config.tlsCertFile = cert;
        config.tlsKeyFile = key;
        StartGateway(std::move(config));
    }
    bool LoginLogged() {
        for (const std::string& line : log->Copy())
            if (line.find("alice") != std::string::npos)
                return true;
        return false;
    }
    std::string Refusal(const std::string& detailStart = "") const {
        return text::Format(clienttext::kInsecure, ("127.0.0.1:" + Port()).c_str(),
                            detailStart.c_str());
    }

    static inline TestCertificates* certificates = nullptr;
    static inline std::string makeError;
};

TEST_F(TlsTest, ATrustedGatewayCarriesLoginAndUpload) {
    StartTlsGateway(certificates->loopbackCert, certificates->key);
    CNetworkCommunication comm;
    comm.SetTls(true, certificates->authority);
    ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
    const Exchanged reply =
        Upload(comm, WireBody({ReserveRequest("B880000001", "上海测试证券")}, comm));
    ASSERT_EQ(reply.rc, 0) << comm.LastErrorText;
    EXPECT_EQ(reply.codes, std::vector<int>{0});
    EXPECT_EQ(ReserveCount(), 1);

    // A cut reply is fetched again over a new TLS connection, as in the clear.
    GatewayFaults cut;
    cut.closeAfterBytes = 30;
    cut.times = 1;
    gateway->SetFaults(cut);
    const Exchanged again =
        Upload(comm, WireBody({ReserveRequest("B880000002", "深圳测试证券")}, comm));
    ASSERT_EQ(again.rc, 0) << comm.LastErrorText;
    EXPECT_EQ(again.marker, "01");
    EXPECT_EQ(ReserveCount(), 2);
}

TEST_F(TlsTest, ACertificateNobodyVouchesForIsRefusedBeforeTheLoginIsSent) {
    StartTlsGateway(certificates->strangerCert, certificates->strangerKey);
    CNetworkCommunication comm;
    comm.SetTls(true, certificates->authority);
    EXPECT_LT(Login(comm, "alice", kAlicePassword), 0);
    EXPECT_EQ(comm.LastErrorText.rfind(Refusal(), 0), 0u) << comm.LastErrorText;
    EXPECT_FALSE(LoginLogged());
}

TEST_F(TlsTest, ATrustedCertificateForAnotherHostIsRefused) {
    StartTlsGateway(certificates->otherHostCert, certificates->key);
    CNetworkCommunication comm;
    comm.SetTls(true, certificates->authority);
    EXPECT_LT(Login(comm, "alice", kAlicePassword), 0);
    EXPECT_EQ(comm.LastErrorText.rfind(Refusal(), 0), 0u) << comm.LastErrorText;
    EXPECT_FALSE(LoginLogged());
}

TEST_F(TlsTest, WithoutTheAuthorityFileTheGatewayIsNotTrusted) {
    StartTlsGateway(certificates->loopbackCert, certificates->key);
    CNetworkCommunication comm;
    comm.SetTls(true);
    EXPECT_LT(Login(comm, "alice", kAlicePassword), 0);
    EXPECT_EQ(comm.LastErrorText.rfind(Refusal(), 0), 0u) << comm.LastErrorText;
}

TEST_F(TlsTest, TlsAndPlainEndsDoNotTalk) {
    StartTlsGateway(certificates->loopbackCert, certificates->key);
    CNetworkCommunication plain;
    plain.SetTimeoutMs(3000);
    EXPECT_LT(Login(plain, "alice", kAlicePassword), 0);
    EXPECT_FALSE(LoginLogged());
    gateway.reset();

    StartGateway();
    CNetworkCommunication tls;
    tls.SetTimeoutMs(3000);
    tls.SetTls(true, certificates->authority);
    EXPECT_LT(Login(tls, "alice", kAlicePassword), 0);
    EXPECT_EQ(tls.LastErrorText.rfind(Refusal(), 0), 0u) << tls.LastErrorText;
}

TEST_F(TlsTest, AGatewayWithAMissingKeyDoesNotStart) {
    GatewayConfig config = MakeConfig();
    config.tlsCertFile = certificates->loopbackCert;
    config.tlsKeyFile = certificates->loopbackCert + ".absent";
    GatewayThread thread(std::move(config));
    std::string error;
    EXPECT_FALSE(thread.Start(error));
    EXPECT_NE(error.find(".absent"), std::string::npos) << error;
}

TEST(TlsOptionsTest, CertificateAndKeyGoTogetherOnTheCommandLine) {
    GatewayCommand command;
    std::string error;
    EXPECT_TRUE(ParseGatewayCommand({"--tls-cert", "c.pem", "--tls-key", "k.pem"}, command, error));
    EXPECT_EQ(command.config.tlsCertFile, "c.pem");
    EXPECT_EQ(command.config.tlsKeyFile, "k.pem");
    GatewayCommand half;
    EXPECT_FALSE(ParseGatewayCommand({"--tls-cert", "c.pem"}, half, error));
}

// Settings: one environment variable or one line of the file turns TLS on.
class TlsSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        qunsetenv("QUILLMARK_TLS");
        qunsetenv("QUILLMARK_TLS_CA");
    }
    void TearDown() override {
        qputenv("XDG_CONFIG_HOME", saved);
        qunsetenv("QUILLMARK_TLS");
        qunsetenv("QUILLMARK_TLS_CA");
    }
    void WriteFile(const std::string& lines) {
        QDir(config.path()).mkpath("quillmark");
        std::ofstream(settings::FilePath()) << "[gateway]\n" << lines;
    }
    QTemporaryDir config;
    QByteArray saved;
};

TEST_F(TlsSettingsTest, OffByDefault) {
    EXPECT_FALSE(settings::Read().tls);
    EXPECT_FALSE(CNetworkCommunication().Tls());
}

TEST_F(TlsSettingsTest, OnFromTheFileWithItsAuthorities) {
    WriteFile("tls=true\nca_file=/etc/quillmark/ca.pem\n");
    const settings::Settings settings = settings::Read();
    EXPECT_TRUE(settings.tls);
    EXPECT_EQ(settings.tlsCaFile, "/etc/quillmark/ca.pem");
    EXPECT_TRUE(CNetworkCommunication().Tls());
}

TEST_F(TlsSettingsTest, TheEnvironmentWinsAndNonsenseIsIgnored) {
    WriteFile("tls=true\n");
    qputenv("QUILLMARK_TLS", "0");
    EXPECT_FALSE(settings::Read().tls);
    qputenv("QUILLMARK_TLS", "perhaps");
    EXPECT_TRUE(settings::Read().tls);
    qputenv("QUILLMARK_TLS", "1");
    qputenv("QUILLMARK_TLS_CA", "/tmp/ca.pem");
    WriteFile("tls=maybe\n");
    EXPECT_TRUE(settings::Read().tls);
    EXPECT_EQ(settings::Read().tlsCaFile, "/tmp/ca.pem");
}

} // namespace
