#pragma once
// Logged-in sessions. A session outlives its connection so that a client that
// lost its connection can resume it with the token and send a request again.
// It issues the serials (unique per login) and keeps a record of the requests
// it processed, so a repeated serial is answered from the record.

#include "gateway/LoginGuard.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct UploadWork;

struct ProcessedRequest {
    std::size_t bodyHash = 0;
    std::size_t bodyLength = 0;
    std::vector<std::uint16_t> codes;
    std::vector<std::uint8_t> badFields;
};

struct Session {
    std::string token;
    std::string operatorName; // UTF-8
    std::string participant;
    std::string tag; // the first 6 characters of every serial of this session
    std::uint64_t issued = 0;
    std::map<std::uint64_t, ProcessedRequest> processed;
    std::deque<std::uint64_t> processedOrder;
    // Requests being processed on a worker, by serial number.
    std::map<std::uint64_t, std::shared_ptr<UploadWork>> working;
    std::vector<bool> used; // by serial number: processed once, remembered or not
    std::chrono::steady_clock::time_point lastSeen;

    // "" when the session has issued all the serials it may.
    std::string IssueSerial();
    // The number of a serial this session issued, or 0.
    std::uint64_t SerialNumber(const std::string& serial) const;
    void Remember(std::uint64_t number, ProcessedRequest request);
    // Processed before, whether or not its record is still kept.
    bool WasUsed(std::uint64_t number) const { return number < used.size() && used[number]; }
};

class SessionTable {
public:
    SessionTable(std::chrono::milliseconds lifetime, GatewayClock clock);

    // `number` is the session's number in the store's count of sessions: it
    // makes the serial tag, so it must never have been used before. Null when
    // it is beyond what a tag can hold.
    Session* Create(const std::string& operatorName, const std::string& participant,
                    std::uint64_t number);
    // The live session with this token (its lifetime restarted), or null.
    Session* Find(const std::string& token);
    void Remove(const std::string& token);
    std::size_t Size() const { return m_sessions.size(); }

private:
    void Expire();

    std::chrono::milliseconds m_lifetime;
    GatewayClock m_clock;
    std::map<std::string, std::unique_ptr<Session>> m_sessions;
};
