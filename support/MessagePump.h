#pragma once
// Hands the window's pending events on for handling and returns when none is
// left. The per-record upload calls it between records.

class IMessagePump {
public:
    virtual ~IMessagePump() = default;
    virtual void PumpMessages() = 0;
};
