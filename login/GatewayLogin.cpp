#include "login/GatewayLogin.h"

#include "protocol/SystemCodes.h"
#include "support/SecretWipe.h"

#include <cstring>

int LoginGateway(IPrompt& prompt, CCommunication*& pComm, std::string strOperator,
                 std::string strPassword, std::string strGatewayAddress, std::string strPort) {
    const WipeOnExit wipePassword(strPassword); // this copy is needed only for the login
    // Exact comparisons with "": a field of blanks is the operator's to send.
    if (strOperator.empty()) {
        prompt.ShowMessage("请输入正确的操作员名称!");
        return 0;
    }
    if (strPassword.empty()) {
        prompt.ShowMessage("请输入正确的密码!");
        return 0;
    }
    if (strGatewayAddress.empty()) {
        prompt.ShowMessage("请输入正确的网关地址!");
        return 0;
    }
    if (strPort.empty()) {
        prompt.ShowMessage("请输入正确的网关端口号!");
        return 0;
    }

    pComm = GetGolbalCommunicaHandle();
    if (pComm == nullptr) {
        prompt.ShowMessage("获得通讯句柄错误!");
        return 0;
    }
    pComm->ShowStatus("正在登录...", 0);

    // A context the library cannot give is no reason to stop: log in without.
    char context[9];
    std::memset(context, 0, sizeof context);
    if (pComm->GetLoginContext(context) < 0)
        context[0] = '\0';
    context[8] = '\0';

    const int result = pComm->Login(context, strOperator, strPassword, protocol::kSystemId,
                                    protocol::kLoginCode, strGatewayAddress, strPort);
    if (result >= 0) {
        pComm->ShowStatus("", 0);
        pComm->ShowStatus("", 0);
        return 1;
    }
    pComm->ShowStatus("", 0);
    prompt.ShowMessage(pComm->LastErrorText);
    return 0;
}
