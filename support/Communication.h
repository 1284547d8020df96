#pragma once
// The communication object: everything the tool says to the gateway goes
// through it. The program installs the network implementation; tests install a
// scripted one. Operations whose result is tested return negative on failure.

#include "support/DataBuf.h"
#include "support/WaitHook.h"

#include <string>

class CCommunication {
public:
    virtual ~CCommunication() = default;

    // The virtual operations, in their table order.

    // Connects to `address`:`port` and logs the operator in. Texts are UTF-8.
    virtual int Login(const std::string& loginContext, const std::string& operatorName,
                      const std::string& password, const std::string& systemId,
                      const std::string& code, const std::string& address,
                      const std::string& port) = 0;
    virtual int Close() = 0;
    // Fills `serialNo` (17 bytes: 16 characters and a NUL) and may change the
    // one-character `flag`, which callers preset to '0'.
    virtual int ApplySerialNo(const char* system, const char* subsystem, const char* kind,
                              char* serialNo, char* flag) = 0;
    // Shows `text` (UTF-8) in the status display; "" clears it.
    virtual int ShowStatus(std::string text, int reserved) = 0;
    // Fills the 9-byte login context (8 characters and a NUL).
    virtual int GetLoginContext(char* context) = 0;
    // 0: responses start with a 9-byte prefix; 1: with a 17-byte prefix.
    virtual int GetHeaderMode() = 0;
    // Completes `request` around the body of `bodyLength` bytes already in it.
    virtual int BuildPacketHeader(const char* system, const char* subsystem, const char* kind,
                                  const char* function, char* serialNo, char flag, long bodyLength,
                                  CDataBuf* request) = 0;
    // Sends `request` and fills `response` with the whole answer.
    virtual int SendAndReceive(CDataBuf* request, CDataBuf* response, int reserved) = 0;

    // The front end's hook for requests that take a while (null: none). Not
    // owned; the front end removes it before it goes away.
    void SetWaitHook(IWaitHook* hook) { m_pWaitHook = hook; }
    IWaitHook* WaitHook() const { return m_pWaitHook; }

    // Set by SendAndReceive: the request went to the gateway more than once
    // (its reply was lost or cut and it was sent again with the same serial),
    // so a refusal of the last copy says nothing of what the first did.
    bool LastRequestResent = false;
    // Text of the last failure (UTF-8).
    std::string LastErrorText;
    // Two short codes the gateway hands out at login; GBK, at most 8 bytes each,
    // copied into every request record.
    std::string CommString1;
    std::string CommString2;
    // The gateway the login fields start with.
    std::string DefaultGatewayAddress;
    int DefaultGatewayPort = 0;

private:
    IWaitHook* m_pWaitHook = nullptr;
};

// The process-wide communication object, or null when none is installed.
CCommunication* GetGolbalCommunicaHandle();

// Installs the process-wide object (not owned) and returns the previous one.
CCommunication* SetGolbalCommunicaHandle(CCommunication* communication);
