#pragma once
// A front end's view of a request while the communication object waits on the
// gateway: how many bytes of the request have gone out, how many of the reply
// have come in, and for how long it has waited. The window keeps painting and
// shows it; the terminal front end prints it.

#include <cstdint>
#include <string>

struct WaitProgress {
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesToSend = 0;
    std::uint64_t bytesReceived = 0;
    std::uint64_t bytesToReceive = 0; // 0 until the reply announces its length
    double secondsWaited = 0;
    // What the gateway says it has done of the request (its keep-alives);
    // recordsTotal is 0 when it has said nothing.
    std::uint64_t recordsDone = 0;
    std::uint64_t recordsTotal = 0;
};

class IWaitHook {
public:
    virtual ~IWaitHook() = default;
    // Called a few times a second while a request is under way. It may hand a
    // front end's pending events on; it must not start another request.
    virtual void OnWaiting(const WaitProgress& progress) = 0;
    // Called once when a request whose progress was reported is over.
    virtual void OnWaitEnded() = 0;
    // Called at the same pace while a request is under way but too young to
    // be reported (most end before they are): the front end may paint and
    // run its timers, and leaves input for after the request.
    virtual void OnWaitUnreported() {}
    // Called now and then while the tool works through a long step of its own
    // (building a request, reading a reply, filling rows). Like OnWaiting it
    // may hand a front end's pending events on, dropping input; it must not
    // start another request.
    virtual void OnBusy() {}
};

// "1.2 MB", "340 KB", "12 B".
std::string FormatByteCount(std::uint64_t bytes);
// "已发送 1.2 MB / 561.9 MB,已接收 0 B,已等待 3.4 秒" (UTF-8); the received
// part shows its total once it is known, and the gateway's own progress,
// ",网关已处理 120000/999999 条", once it has reported some.
std::string FormatWaitProgress(const WaitProgress& progress);
// The same, short enough for a status line: "发 1.2/561.9 MB 收 0 B 3 秒",
// with " 网关 120000/999999 条" once the gateway has reported progress.
std::string FormatWaitProgressShort(const WaitProgress& progress);
