#pragma once
// The gateway login behind the window's "登 录" button, and the terminal front
// end's login: the four fields are checked in order, then the communication
// object logs in. Every failure has been shown to the operator on return.

#include "support/Communication.h"
#include "support/Prompt.h"

#include <string>

// Returns 1 when the gateway accepted the login, 0 otherwise. `pComm` receives
// the process-wide communication object once the four checks have passed.
// Fields are UTF-8, taken exactly as typed.
int LoginGateway(IPrompt& prompt, CCommunication*& pComm, std::string strOperator,
                 std::string strPassword, std::string strGatewayAddress, std::string strPort);
