#pragma once
// A communication object that answers from a script and records every call
// with its arguments. Install it with ScopedCommunication.

#include "fakes/EventLog.h"
#include "support/Communication.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct CommCall {
    std::string name;
    std::vector<std::string> args;
};

class ScriptedCommunication : public CCommunication {
public:
    ScriptedCommunication();

    int Login(const std::string& loginContext, const std::string& operatorName,
              const std::string& password, const std::string& systemId, const std::string& code,
              const std::string& address, const std::string& port) override;
    int Close() override;
    int ApplySerialNo(const char* system, const char* subsystem, const char* kind, char* serialNo,
                      char* flag) override;
    int ShowStatus(std::string text, int reserved) override;
    int GetLoginContext(char* context) override;
    int GetHeaderMode() override;
    int BuildPacketHeader(const char* system, const char* subsystem, const char* kind,
                          const char* function, char* serialNo, char flag, long bodyLength,
                          CDataBuf* request) override;
    int SendAndReceive(CDataBuf* request, CDataBuf* response, int reserved) override;

    // Script. Results are returned as they stand; a negative one also sets
    // LastErrorText to failureText.
    int loginResult = 0;
    int loginContextResult = 0;
    std::string loginContext = "CTX00001";
    int applySerialResult = 0;
    std::string serialNo = "0000000000000001";
    char serialFlag = '1';
    int buildHeaderResult = 0;
    int sendResult = 0;
    std::string failureText = "scripted failure";
    // GetHeaderMode answers from this queue, then with headerMode.
    std::deque<int> headerModes;
    int headerMode = 0;
    // SendAndReceive answers from this queue, then through responder, then with
    // an empty response.
    std::deque<std::string> responses;
    std::function<std::string(const std::string& body)> responder;
    // Called at every SendAndReceive before it answers (to act mid-upload).
    std::function<void()> onSend;

    // What was seen.
    std::vector<CommCall> calls;
    std::vector<std::string> sentBodies;   // request bytes as BuildPacketHeader saw them
    std::vector<std::string> sentRequests; // each request as SendAndReceive got it, header too
    std::vector<std::string> statusTexts;
    EventLog* log = nullptr; // optional shared log: "status:TEXT", "call:NAME"

    std::vector<std::string> CallNames() const;
    int CountCalls(const std::string& name) const;

private:
    int Answer(int result);
    void Record(const std::string& name, std::vector<std::string> args);
};

// Installs a communication object for the lifetime of a scope.
class ScopedCommunication {
public:
    explicit ScopedCommunication(CCommunication* communication)
        : m_previous(SetGolbalCommunicaHandle(communication)) {}
    ~ScopedCommunication() { SetGolbalCommunicaHandle(m_previous); }
    ScopedCommunication(const ScopedCommunication&) = delete;
    ScopedCommunication& operator=(const ScopedCommunication&) = delete;

private:
    CCommunication* m_previous;
};
