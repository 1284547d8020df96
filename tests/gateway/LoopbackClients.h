#pragma once
// Plain blocking sockets from a chosen loopback source address, for tests
// that play crowds of strangers beside a real client on 127.0.0.1.

#include <cstdint>
#include <string>

// A connected socket from `source` (e.g. "127.0.0.2") to 127.0.0.1:`port`, or
// -1. Reads and writes give up after 30 s; a close resets the connection, so
// thousands of short connections leave no ports waiting behind them.
int ConnectFrom(const char* source, std::uint16_t port);
// Starts a connection from `source` without waiting for it; -1 on failure.
int StartConnectFrom(const char* source, std::uint16_t port);
bool SendAll(int fd, const std::string& bytes);
// Reads one whole frame and returns its code as ReplyCodes gives it
// ("LR:1001", "ER:3004"), or "closed" when the gateway closed first.
std::string ReadOneReply(int fd);
