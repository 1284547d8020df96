#include "gateway/Sessions.h"

#include "protocol/WireFormat.h"

#include <QRandomGenerator>

#include <cstdio>

namespace {
// Only the newest requests of a session can be sent again; older records go.
constexpr std::size_t kRememberedRequests = 64;
constexpr std::size_t kMaxSessions = 4096;
// Serials one login may draw; a bound on the memory of which were used.
constexpr std::uint64_t kMaxSerialsPerSession = 10'000'000;

std::string RandomToken() {
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[17];
        std::snprintf(part, sizeof part, "%016llx",
                      static_cast<unsigned long long>(QRandomGenerator::system()->generate64()));
        token += part;
    }
    return token;
}

// Six base-36 digits; "" when the number needs more.
std::string SessionTag(std::uint64_t number) {
    static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string tag(6, '0');
    for (int i = 5; i >= 0 && number > 0; --i, number /= 36)
        tag[static_cast<std::size_t>(i)] = kDigits[number % 36];
    return number == 0 ? tag : "";
}
} // namespace

std::string Session::IssueSerial() {
    if (issued >= kMaxSerialsPerSession)
        return "";
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010llu", static_cast<unsigned long long>(++issued));
    return tag + digits;
}

std::uint64_t Session::SerialNumber(const std::string& serial) const {
    std::uint64_t number = 0;
    if (serial.size() != protocol::kSerialLength || serial.compare(0, 6, tag) != 0 ||
        !protocol::ParseDigits(std::string_view(serial).substr(6), number) || number == 0 ||
        number > issued)
        return 0;
    return number;
}

void Session::Remember(std::uint64_t number, ProcessedRequest request) {
    if (used.size() <= number)
        used.resize(number + 1);
    used[number] = true;
    processed[number] = std::move(request);
    processedOrder.push_back(number);
    if (processedOrder.size() > kRememberedRequests) {
        processed.erase(processedOrder.front());
        processedOrder.pop_front();
    }
}

SessionTable::SessionTable(std::chrono::milliseconds lifetime, GatewayClock clock)
    : m_lifetime(lifetime), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return std::chrono::steady_clock::now(); };
}

Session* SessionTable::Create(const std::string& operatorName, const std::string& participant,
                              std::uint64_t number) {
    std::string tag = SessionTag(number);
    if (tag.empty())
        return nullptr;
    Expire();
    if (m_sessions.size() >= kMaxSessions) {
        // Room for the new login: the session seen least recently goes.
        auto oldest = m_sessions.begin();
        for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
            if (it->second->lastSeen < oldest->second->lastSeen)
                oldest = it;
        m_sessions.erase(oldest);
    }
    auto session = std::make_unique<Session>();
    session->token = RandomToken();
    session->operatorName = operatorName;
    session->participant = participant;
    session->tag = std::move(tag);
    session->lastSeen = m_clock();
    Session* created = session.get();
    m_sessions[created->token] = std::move(session);
    return created;
}

Session* SessionTable::Find(const std::string& token) {
    Expire();
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return nullptr;
    it->second->lastSeen = m_clock();
    return it->second.get();
}

void SessionTable::Remove(const std::string& token) {
    m_sessions.erase(token);
}

void SessionTable::Expire() {
    const auto now = m_clock();
    for (auto it = m_sessions.begin(); it != m_sessions.end();)
        it = now - it->second->lastSeen > m_lifetime ? m_sessions.erase(it) : std::next(it);
}
