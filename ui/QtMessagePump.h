#pragma once
// Hands the pending events of the process on for handling and returns when
// none is left, so that the window repaints and takes clicks between records.

#include "support/MessagePump.h"

class CQtMessagePump : public IMessagePump {
public:
    void PumpMessages() override;
};
