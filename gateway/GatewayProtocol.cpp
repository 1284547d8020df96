#include "gateway/GatewayProtocol.h"

#include "gateway/BodyHash.h"
#include "gateway/Settlement.h"
#include "gateway/UploadReply.h"
#include "gateway/UploadWork.h"
#include "protocol/Codes.h"
#include "protocol/SystemCodes.h"
#include "protocol/WireFormat.h"
#include "support/SecretWipe.h"
#include "support/Text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>
#include <vector>

namespace {

std::string Gbk(const char* utf8) {
    return text::Utf8ToGbk(utf8);
}

GatewayReply Control(std::string_view type, std::initializer_list<std::string_view> fields,
                     bool close = false) {
    return {std::string(type), protocol::Fields(fields), close};
}

// A login, resume or serial reply that refuses: its code and message.
GatewayReply Refuse(std::string_view type, const protocol::Refusal& refusal) {
    return Control(type, {refusal.code, Gbk(refusal.text)});
}

// A name as the log shows it: no control characters, so a line stays a line.
std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return text;
}

std::string CodeSummary(const std::vector<std::uint16_t>& codes) {
    std::map<std::uint16_t, std::size_t> counts;
    for (std::uint16_t code : codes)
        ++counts[code];
    std::string summary;
    for (const auto& [code, count] : counts)
        summary +=
            (summary.empty() ? "" : ",") + std::to_string(code) + "x" + std::to_string(count);
    return summary.empty() ? "none" : summary;
}

// An upload reply with results, built over the request when the caller hands
// it over. `payload` and every view into it end here when it is.
std::string Reply(int mode, bool repeated, const UploadReplyHeader& header,
                  std::string_view payload, std::string* owner,
                  const std::vector<std::uint16_t>& codes,
                  const std::vector<std::uint8_t>& badFields) {
    if (owner && std::string_view(*owner).data() == payload.data() &&
        owner->size() == payload.size())
        return BuildUploadReplyOver(std::move(*owner), mode, repeated, header, codes, badFields);
    return BuildUploadReply(mode, repeated, header, payload.substr(protocol::kPacketHeaderLength),
                            codes, badFields);
}

} // namespace

GatewayProtocol::GatewayProtocol(const GatewayConfig& config, SettlementStore& store)
    : m_config(config), m_store(store), m_guard(config.maxFailures, config.lockout, config.clock),
      m_sessions(config.sessionLifetime, config.clock) {}

const char* GatewayProtocol::ReplyKind(std::string_view type) {
    if (type == protocol::kLogin || type == protocol::kResume)
        return "login";
    if (type == protocol::kSerialRequest)
        return "serial";
    if (type == protocol::kUpload)
        return "upload";
    return "other";
}

GatewayReply GatewayProtocol::Refusal(std::string_view type, bool loggedIn) {
    if (type != protocol::kLogin && type != protocol::kResume && type != protocol::kSerialRequest &&
        type != protocol::kUpload && type != protocol::kLogout)
        return ErrorFrame(protocol::errorcode::kUnknownType);
    // Before a login nothing but a login, a resume or a logout is read, so a
    // stranger can neither hold memory nor learn how requests are answered.
    if (!loggedIn && type != protocol::kLogin && type != protocol::kResume &&
        type != protocol::kLogout)
        return ErrorFrame(protocol::errorcode::kNotLoggedIn);
    return {};
}

GatewayReply GatewayProtocol::ErrorFrame(const protocol::Refusal& refusal) {
    return Control(protocol::kError, {refusal.code, Gbk(refusal.text)}, true);
}

void GatewayProtocol::Log(const std::string& line) const {
    if (m_config.log) {
        m_config.log(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
}

GatewayReply GatewayProtocol::Handle(ConnectionState& state, std::string_view type,
                                     std::string_view payload, const GatewayFaults* fault,
                                     std::string* owner) {
    if (type == protocol::kLogin)
        return Login(state, payload, fault);
    if (type == protocol::kResume)
        return Resume(state, payload, fault);
    if (type == protocol::kSerialRequest)
        return Serial(state, payload);
    if (type == protocol::kUpload)
        return Upload(state, payload, fault, owner);
    if (type == protocol::kLogout) {
        if (!state.token.empty())
            m_sessions.Remove(state.token);
        state.token.clear();
        return {"", "", true};
    }
    return ErrorFrame(protocol::errorcode::kUnknownType);
}

GatewayReply GatewayProtocol::LoginReply(const Session& session, const GatewayFaults* fault) const {
    const int mode = fault && fault->headerMode >= 0 ? fault->headerMode : m_config.headerMode;
    return Control(protocol::kLoginReply,
                   {protocol::kAccepted, Gbk(protocol::logincode::kAcceptedText),
                    std::to_string(mode), session.participant, m_config.gatewayId, session.token});
}

LoginCheck::~LoginCheck() {
    WipeSecret(password);
}

bool LoginCheck::Verify() {
    const bool verified = OperatorTable::Verify(known ? &entry : nullptr, password);
    WipeSecret(password);
    return verified;
}

GatewayReply GatewayProtocol::Login(ConnectionState& state, std::string_view payload,
                                    const GatewayFaults* fault) {
    LoginCheck check;
    GatewayReply reply = BeginLogin(payload, check);
    if (!reply.type.empty())
        return reply;
    const bool verified = check.Verify();
    return FinishLogin(state, check, verified, fault);
}

GatewayReply GatewayProtocol::BeginLogin(std::string_view payload, LoginCheck& check) {
    std::vector<std::string> f;
    if (!protocol::SplitFields(payload, f) || f.size() != 6)
        return Refuse(protocol::kLoginReply, protocol::logincode::kMalformed);
    const WipeOnExit wipeTyped(f[3]);
    if (f[0] != protocol::kProtocolVersion && f[0] != protocol::kProtocolVersion2)
        return Refuse(protocol::kLoginReply, protocol::logincode::kBadVersion);
    check.keepAlives = f[0] == protocol::kProtocolVersion2;
    check.name = text::GbkToUtf8(f[2]);
    check.context = Printable(text::GbkToUtf8(f[1]));
    if (f[4] != protocol::kSystemId || f[5] != protocol::kLoginCode)
        return RefuseLogin(check, protocol::logincode::kBadSystem, "system id");
    if (m_guard.IsLocked(check.name))
        return RefuseLogin(check, protocol::logincode::kLocked, "locked");
    if (const OperatorEntry* entry = m_config.operators.Find(check.name)) {
        check.known = true;
        check.entry = *entry;
    }
    check.password = text::GbkToUtf8(f[3]);
    return {};
}

GatewayReply GatewayProtocol::RefuseLogin(const LoginCheck& check, const protocol::Refusal& refusal,
                                          const std::string& why) const {
    Log("login operator=" + Printable(check.name) + " context=" + check.context +
        " outcome=refused(" + why + ")");
    return Refuse(protocol::kLoginReply, refusal);
}

GatewayReply GatewayProtocol::FinishLogin(ConnectionState& state, const LoginCheck& check,
                                          bool verified, const GatewayFaults* fault) {
    if (!verified) {
        m_guard.RecordFailure(check.name);
        return RefuseLogin(check, protocol::logincode::kBadCredentials,
                           check.known ? "password" : "unknown operator");
    }
    // A lock that began while the password was being checked holds too.
    if (m_guard.IsLocked(check.name))
        return RefuseLogin(check, protocol::logincode::kLocked, "locked");
    m_guard.RecordSuccess(check.name);
    std::uint64_t number = check.sessionNumber;
    bool numbered = check.numbered;
    if (!numbered) {
        const std::lock_guard lock(m_storeLock);
        numbered = m_store.NextSessionNumber(number);
    }
    if (!numbered)
        return RefuseLogin(check, protocol::logincode::kStoreFailure,
                           "store: " + m_store.LastError());
    const Session* session = m_sessions.Create(check.name, check.entry.participant, number);
    if (!session)
        return RefuseLogin(check, protocol::logincode::kStoreFailure, "serial tags used up");
    if (!state.token.empty())
        m_sessions.Remove(state.token);
    state.token = session->token;
    state.keepAlives = check.keepAlives;
    Log("login operator=" + Printable(check.name) + " context=" + check.context +
        " outcome=accepted");
    return LoginReply(*session, fault);
}

void GatewayProtocol::NumberSession(LoginCheck& check) {
    const std::lock_guard lock(m_storeLock);
    check.numbered = m_store.NextSessionNumber(check.sessionNumber);
}

GatewayReply GatewayProtocol::Resume(ConnectionState& state, std::string_view payload,
                                     const GatewayFaults* fault) {
    std::vector<std::string> f;
    if (!protocol::SplitFields(payload, f) || f.size() != 3)
        return Refuse(protocol::kLoginReply, protocol::logincode::kMalformed);
    if (f[0] != protocol::kProtocolVersion && f[0] != protocol::kProtocolVersion2)
        return Refuse(protocol::kLoginReply, protocol::logincode::kBadVersion);
    const Session* session = m_sessions.Find(f[1]);
    if (!session)
        return Refuse(protocol::kLoginReply, protocol::logincode::kSessionGone);
    state.token = session->token;
    state.keepAlives = f[0] == protocol::kProtocolVersion2;
    Log("resume operator=" + Printable(session->operatorName) + " outcome=accepted");
    return LoginReply(*session, fault);
}

GatewayReply GatewayProtocol::Serial(ConnectionState& state, std::string_view payload) {
    Session* session = state.token.empty() ? nullptr : m_sessions.Find(state.token);
    if (!session)
        return Refuse(protocol::kSerialReply, protocol::serialcode::kNotLoggedIn);
    std::vector<std::string> f;
    std::uint64_t count = 1;
    if (!protocol::SplitFields(payload, f) || f.size() < 3 || f.size() > 4 ||
        f[0] != protocol::kSystem || f[1] != protocol::kSubsystem || f[2] != protocol::kKind ||
        (f.size() == 4 &&
         (!protocol::ParseDigits(f[3], count) || count < 1 || count > protocol::kMaxSerialBlock)))
        return Refuse(protocol::kSerialReply, protocol::serialcode::kBadRequest);
    // A block of serials saves the client a round trip per request.
    std::string reply = protocol::Fields({protocol::kAccepted, "", "1"});
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::string serial = session->IssueSerial();
        if (serial.empty())
            return Refuse(protocol::kSerialReply, protocol::serialcode::kUsedUp);
        protocol::AppendField(reply, serial);
    }
    return {std::string(protocol::kSerialReply), std::move(reply), false};
}

GatewayReply GatewayProtocol::Upload(ConnectionState& state, std::string_view payload,
                                     const GatewayFaults* fault, std::string* owner) {
    const std::uint64_t hash = BodyHash::Of(payload.size() > protocol::kPacketHeaderLength
                                                ? payload.substr(protocol::kPacketHeaderLength)
                                                : std::string_view());
    UploadStep step = BeginUpload(state, payload, fault, owner, hash);
    if (!step.work)
        return step.reply;
    // Only connections leave work under way; should a copy of such work reach
    // this caller, who cannot wait for it, it is refused rather than run twice.
    if (step.copy)
        return RefuseOtherBody(*step.work);
    RunUpload(*step.work);
    FinishUpload(*step.work);
    return {std::string(protocol::kUploadReply), *step.work->reply, false};
}

UploadStep GatewayProtocol::BeginUpload(ConnectionState& state, std::string_view payload,
                                        const GatewayFaults* fault, std::string* owner,
                                        std::uint64_t hash) {
    protocol::PacketHeader packet;
    const bool headerRead = protocol::DecodePacketHeader(payload, packet);
    const int mode = fault && fault->headerMode >= 0 ? fault->headerMode : m_config.headerMode;
    UploadReplyHeader header;
    header.serial = headerRead ? packet.serial : "";
    header.flag = headerRead ? packet.flag : '0';
    Session* session = state.token.empty() ? nullptr : m_sessions.Find(state.token);
    const std::string who = session ? Printable(session->operatorName) : "-";
    const std::size_t bodyLength = payload.size() > protocol::kPacketHeaderLength
                                       ? payload.size() - protocol::kPacketHeaderLength
                                       : 0;
    const std::size_t records = bodyLength / protocol::kRequestRecordLength;

    auto refuse = [&](const protocol::Refusal& refusal) {
        header.returnCode = refusal.code;
        header.message = refusal.text;
        Log("upload operator=" + who + " serial=" + Printable(header.serial) +
            " records=" + std::to_string(records) + " outcome=refused(" + refusal.code + ")");
        return UploadStep{{std::string(protocol::kUploadReply),
                           BuildUploadReply(mode, false, header, {}, {}, {}), false},
                          nullptr,
                          false};
    };
    if (!session)
        return refuse(protocol::returncode::kNotLoggedIn);
    if (!headerRead || packet.system != protocol::kSystem ||
        packet.subsystem != protocol::kSubsystem || packet.kind != protocol::kKind ||
        packet.function != protocol::kFunction)
        return refuse(protocol::returncode::kBadPacketHeader);
    const std::string_view body = payload.substr(protocol::kPacketHeaderLength);
    if (packet.bodyLength != body.size() || body.size() % protocol::kRequestRecordLength != 0 ||
        records > protocol::kMaxRecords)
        return refuse(protocol::returncode::kBadBodyLength);
    if (fault && !fault->returnCode.empty())
        return refuse({fault->returnCode.c_str(), protocol::returncode::kFaultText});
    const std::uint64_t number = session->SerialNumber(header.serial);
    if (number == 0)
        return refuse(protocol::returncode::kUnknownSerial);

    if (const auto seen = session->processed.find(number); seen != session->processed.end()) {
        const ProcessedRequest& before = seen->second;
        if (before.bodyHash != hash || before.bodyLength != body.size())
            return refuse(protocol::returncode::kSerialReused);
        Log("upload operator=" + who + " serial=" + header.serial + " records=" +
            std::to_string(records) + " outcome=repeated(" + CodeSummary(before.codes) + ")");
        header.message = protocol::kProcessedText;
        return {{std::string(protocol::kUploadReply),
                 Reply(mode, true, header, payload, owner, before.codes, before.badFields), false},
                nullptr,
                false};
    }
    if (const auto under = session->working.find(number); under != session->working.end()) {
        // The first copy is still being processed: this one waits for its reply.
        Log("upload operator=" + who + " serial=" + header.serial +
            " records=" + std::to_string(records) + " outcome=waits for its first copy");
        return {{}, under->second, true};
    }
    if (session->WasUsed(number)) // processed long ago; its record is gone
        return refuse(protocol::returncode::kUnknownSerial);

    auto work = std::make_shared<UploadWork>();
    work->token = session->token;
    work->number = number;
    work->bodyHash = hash;
    work->bodyLength = body.size();
    work->records = records;
    work->mode = mode;
    work->header = header;
    work->participant = session->participant;
    work->who = who;
    work->extraMs = fault ? fault->workMs : 0;
    if (owner && std::string_view(*owner).data() == payload.data() &&
        owner->size() == payload.size())
        work->payload = std::move(*owner);
    else
        work->payload.assign(payload);
    session->working[number] = work;
    return {{}, work, false};
}

void GatewayProtocol::RunUpload(UploadWork& work) {
    if (work.extraMs > 0) {
        // Slow work, for tests: the time spread over the records, the count
        // of records done moving all along.
        const int steps = std::max(1, work.extraMs / 50);
        for (int k = 1; k <= steps; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(work.extraMs / steps));
            work.done.store(work.records * static_cast<std::uint64_t>(k) /
                                static_cast<std::uint64_t>(steps + 1),
                            std::memory_order_relaxed);
        }
    }
    const std::string_view body =
        std::string_view(work.payload).substr(protocol::kPacketHeaderLength);
    {
        const std::lock_guard lock(m_storeLock);
        work.outcome = Settle(m_store, body, work.participant, m_config.gatewayId, &work.done);
    }
    UploadReplyHeader header = work.header;
    if (work.outcome.storeFailed) {
        header.returnCode = protocol::returncode::kStoreFailure.code;
        header.message = protocol::returncode::kStoreFailure.text;
        work.replyBytes = BuildUploadReply(work.mode, false, header, {}, {}, {});
        std::string().swap(work.payload);
        return;
    }
    header.message = protocol::kProcessedText;
    work.replyBytes = BuildUploadReplyOver(std::move(work.payload), work.mode, false, header,
                                           work.outcome.codes, work.outcome.badFields);
}

void GatewayProtocol::FinishUpload(UploadWork& work) {
    Session* session = m_sessions.Find(work.token);
    const SettlementOutcome& outcome = work.outcome;
    if (outcome.storeFailed) {
        Log("upload operator=" + work.who + " serial=" + Printable(work.header.serial) +
            " store failure at " + Printable(outcome.storeError));
        Log("upload operator=" + work.who + " serial=" + Printable(work.header.serial) +
            " records=" + std::to_string(work.records) + " outcome=refused(" +
            protocol::returncode::kStoreFailure.code + ")");
    } else {
        Log("upload operator=" + work.who + " serial=" + work.header.serial +
            " records=" + std::to_string(work.records) + " outcome=stored " +
            std::to_string(outcome.stored) + " codes " + CodeSummary(outcome.codes));
        if (session)
            session->Remember(work.number,
                              {work.bodyHash, work.bodyLength, outcome.codes, outcome.badFields});
    }
    if (session)
        session->working.erase(work.number);
    work.accepted = !outcome.storeFailed;
    work.reply = std::make_shared<const std::string>(std::move(work.replyBytes));
    work.finished = true;
}

std::shared_ptr<UploadWork> GatewayProtocol::WorkFor(const ConnectionState& state,
                                                     std::string_view packetHeader) {
    protocol::PacketHeader packet;
    if (state.token.empty() || !protocol::DecodePacketHeader(packetHeader, packet))
        return nullptr;
    Session* session = m_sessions.Find(state.token);
    if (!session)
        return nullptr;
    const std::uint64_t number = session->SerialNumber(packet.serial);
    const auto under = session->working.find(number);
    return number != 0 && under != session->working.end() ? under->second : nullptr;
}

GatewayReply GatewayProtocol::RefuseOtherBody(const UploadWork& work) const {
    UploadReplyHeader header = work.header;
    header.returnCode = protocol::returncode::kSerialReused.code;
    header.message = protocol::returncode::kSerialReused.text;
    Log("upload operator=" + work.who + " serial=" + Printable(header.serial) +
        " records=? outcome=refused(" + protocol::returncode::kSerialReused.code + ")");
    return {std::string(protocol::kUploadReply),
            BuildUploadReply(work.mode, false, header, {}, {}, {}), false};
}
