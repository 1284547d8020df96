#include "fakes/ScriptedCommunication.h"

#include <algorithm>
#include <cstring>

ScriptedCommunication::ScriptedCommunication() {
    CommString1 = "C1CODE01";
    CommString2 = "C2CODE02";
    DefaultGatewayAddress = "127.0.0.1";
    DefaultGatewayPort = 7070;
}

void ScriptedCommunication::Record(const std::string& name, std::vector<std::string> args) {
    calls.push_back({name, std::move(args)});
    if (log)
        log->Add("call:" + name);
}

int ScriptedCommunication::Answer(int result) {
    if (result < 0)
        LastErrorText = failureText;
    return result;
}

int ScriptedCommunication::Login(const std::string& loginContext_, const std::string& operatorName,
                                 const std::string& password, const std::string& systemId,
                                 const std::string& code, const std::string& address,
                                 const std::string& port) {
    Record("Login", {loginContext_, operatorName, password, systemId, code, address, port});
    return Answer(loginResult);
}

int ScriptedCommunication::Close() {
    Record("Close", {});
    return 0;
}

int ScriptedCommunication::ApplySerialNo(const char* system, const char* subsystem,
                                         const char* kind, char* serial, char* flag) {
    Record("ApplySerialNo", {system, subsystem, kind, serial, std::string(1, *flag)});
    if (applySerialResult >= 0) {
        std::memset(serial, 0, 17);
        std::memcpy(serial, serialNo.data(), std::min<std::size_t>(serialNo.size(), 16));
        *flag = serialFlag;
    }
    return Answer(applySerialResult);
}

int ScriptedCommunication::ShowStatus(std::string text, int reserved) {
    Record("ShowStatus", {text, std::to_string(reserved)});
    statusTexts.push_back(text);
    if (log)
        log->Add("status:" + text);
    return 0;
}

int ScriptedCommunication::GetLoginContext(char* context) {
    Record("GetLoginContext", {});
    if (loginContextResult >= 0) {
        std::memset(context, 0, 9);
        std::memcpy(context, loginContext.data(), std::min<std::size_t>(loginContext.size(), 8));
    }
    return Answer(loginContextResult);
}

int ScriptedCommunication::GetHeaderMode() {
    Record("GetHeaderMode", {});
    if (!headerModes.empty()) {
        const int mode = headerModes.front();
        headerModes.pop_front();
        return mode;
    }
    return headerMode;
}

int ScriptedCommunication::BuildPacketHeader(const char* system, const char* subsystem,
                                             const char* kind, const char* function, char* serial,
                                             char flag, long bodyLength, CDataBuf* request) {
    Record("BuildPacketHeader",
           {system, subsystem, kind, function, std::string(serial, strnlen(serial, 17)),
            std::string(1, flag), std::to_string(bodyLength)});
    sentBodies.emplace_back(request->Data(), request->GetSize());
    return Answer(buildHeaderResult);
}

int ScriptedCommunication::SendAndReceive(CDataBuf* request, CDataBuf* response, int reserved) {
    Record("SendAndReceive", {std::to_string(request->GetSize()), std::to_string(reserved)});
    sentRequests.emplace_back(request->Data(), request->GetSize());
    if (onSend)
        onSend();
    if (sendResult < 0)
        return Answer(sendResult);
    std::string answer;
    if (!responses.empty()) {
        answer = std::move(responses.front());
        responses.pop_front();
    } else if (responder) {
        answer = responder(std::string(request->Data(), request->GetSize()));
    }
    response->RemoveAll();
    response->InsertDataToBuf(answer.data(), 0, answer.size());
    return sendResult;
}

std::vector<std::string> ScriptedCommunication::CallNames() const {
    std::vector<std::string> names;
    for (const auto& call : calls)
        names.push_back(call.name);
    return names;
}

int ScriptedCommunication::CountCalls(const std::string& name) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const CommCall& c) { return c.name == name; }));
}
