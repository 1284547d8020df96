// What the wait hook hears of a request: the bytes received never exceed the
// reply's announced length, also when a resume's exchange or a frame header
// came in before the reply.

#include "support/net/WaitMeter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

enum class Step { Sent, Received, ExpectReply };

TEST(WaitMeter, BytesReceivedNeverExceedTheReplyAfterAResume) {
    // A request whose connection was lost: the resume's frame and reply, then
    // the request again and its reply, each reply after a 16-byte header.
    const struct {
        Step step;
        std::uint64_t bytes;
        std::uint64_t received; // what the hook would hear after the step
        std::uint64_t toReceive;
    } steps[] = {
        {Step::Sent, 30, 0, 0},           {Step::Received, 16, 16, 0},
        {Step::ExpectReply, 40, 0, 40},   {Step::Received, 40, 40, 40},
        {Step::Sent, 1000, 40, 40},       {Step::Received, 16, 40, 40},
        {Step::ExpectReply, 117, 0, 117}, {Step::Received, 60, 60, 117},
        {Step::Received, 57, 117, 117},
    };
    WaitMeter meter;
    meter.Begin(nullptr, 1000);
    for (const auto& s : steps) {
        switch (s.step) {
        case Step::Sent:
            meter.SetSent(s.bytes);
            break;
        case Step::Received:
            meter.AddReceived(s.bytes);
            break;
        case Step::ExpectReply:
            meter.ExpectReply(s.bytes);
            break;
        }
        const WaitProgress& p = meter.Progress();
        EXPECT_EQ(p.bytesReceived, s.received);
        EXPECT_EQ(p.bytesToReceive, s.toReceive);
        EXPECT_LE(p.bytesSent, p.bytesToSend);
    }
    meter.End();
}

} // namespace
