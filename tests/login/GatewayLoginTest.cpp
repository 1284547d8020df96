#include "login/GatewayLogin.h"
#include "fakes/RecordingMainWindow.h"
#include "fakes/ScriptedCommunication.h"

#include <gtest/gtest.h>

namespace {

struct LoginFixture : ::testing::Test {
    ScriptedCommunication comm;
    ScopedCommunication installed{&comm};
    RecordingMainWindow window;
    EventLog log;
    CCommunication* pComm = nullptr;

    void SetUp() override {
        comm.log = &log;
        window.log = &log;
    }
    int Login(const std::string& op, const std::string& pw, const std::string& addr,
              const std::string& port) {
        return LoginGateway(window, pComm, op, pw, addr, port);
    }
};

} // namespace

TEST_F(LoginFixture, EmptyFieldsAreReportedInOrderWithoutTouchingTheGateway) {
    EXPECT_EQ(Login("", "", "", ""), 0);
    EXPECT_EQ(Login("op", "", "", ""), 0);
    EXPECT_EQ(Login("op", "pw", "", ""), 0);
    EXPECT_EQ(Login("op", "pw", "host", ""), 0);
    EXPECT_EQ(window.messages,
              (std::vector<std::string>{"请输入正确的操作员名称!", "请输入正确的密码!",
                                        "请输入正确的网关地址!", "请输入正确的网关端口号!"}));
    EXPECT_TRUE(comm.calls.empty());
    EXPECT_EQ(pComm, nullptr);
}

TEST_F(LoginFixture, FieldsReachTheGatewayUnchanged) {
    ASSERT_EQ(Login("  ", "pw", "host", "port"), 1);
    ASSERT_EQ(comm.CountCalls("Login"), 1);
    EXPECT_EQ(comm.calls[2].args,
              (std::vector<std::string>{"CTX00001", "  ", "pw", "ZANTHO00", "E0", "host", "port"}));
    EXPECT_EQ(pComm, &comm);
}

TEST_F(LoginFixture, SuccessShowsStatusThenClearsItTwiceAndNoMessage) {
    ASSERT_EQ(Login("op", "pw", "127.0.0.1", "7070"), 1);
    EXPECT_EQ(log.events,
              (std::vector<std::string>{"call:ShowStatus", "status:正在登录...",
                                        "call:GetLoginContext", "call:Login", "call:ShowStatus",
                                        "status:", "call:ShowStatus", "status:"}));
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(LoginFixture, FailedLoginContextStillLogsInWithAnEmptyContext) {
    comm.loginContextResult = -1;
    ASSERT_EQ(Login("op", "pw", "h", "1"), 1);
    EXPECT_EQ(comm.calls[2].name, "Login");
    EXPECT_EQ(comm.calls[2].args[0], "");
}

TEST_F(LoginFixture, RefusalClearsStatusOnceThenShowsTheGatewayText) {
    comm.loginResult = -3;
    comm.failureText = "密码错误";
    EXPECT_EQ(Login("op", "pw", "h", "1"), 0);
    const std::vector<std::string> tail(log.events.end() - 3, log.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"call:ShowStatus", "status:", "message:密码错误"}));
    EXPECT_EQ(comm.statusTexts, (std::vector<std::string>{"正在登录...", ""}));
}

TEST_F(LoginFixture, MissingCommunicationObjectIsReported) {
    ScopedCommunication none(nullptr);
    EXPECT_EQ(Login("op", "pw", "h", "1"), 0);
    EXPECT_EQ(window.messages, (std::vector<std::string>{"获得通讯句柄错误!"}));
}
