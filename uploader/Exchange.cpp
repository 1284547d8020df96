// One request to the settlement system and its response: serial number, body
// of fixed-width request records, packet header, send and receive, then the
// response header and one result record after another.

#include "protocol/Codes.h"
#include "protocol/SystemCodes.h"
#include "protocol/WireFormat.h"
#include "support/BusyTicker.h"
#include "support/ComFormat.h"
#include "support/PageReturn.h"
#include "support/Text.h"
#include "upload/RecordFormats.h"
#include "upload/RunObserver.h"
#include "upload/UploadTexts.h"
#include "uploader/AccountUploader.h"
#include "uploader/RowRequest.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace {

// Spare room behind the body for what BuildPacketHeader adds, so that a large
// body is not moved to a bigger block just to gain its header.
constexpr std::size_t kPacketHeaderRoom = 256;
// The communication layer's prefix is followed by two bytes nobody reads
// (the marker).
constexpr std::size_t kSkippedBytes = protocol::kMarkerLength;
constexpr std::size_t kPrefixMode0 = protocol::kPrefixLengthMode0;
constexpr std::size_t kPrefixMode1 = protocol::kPrefixLengthMode1;
// Buffers up to this size are kept for the next request (the per-record
// upload reuses them); larger ones, a batch's, go back once it is done.
constexpr std::size_t kKeptBufferBytes = 4u << 20;

// The request body is zero-filled this many records at a time (about 1 MB):
// fresh pages are slow to come by on a busy machine.
constexpr std::size_t kRecordsPerSlice = (1u << 20) / kRequestWireLength;
// A large buffer's pages go back to the system once it is done; the block
// itself, then empty, last.
void ReleaseIfLarge(CDataBuf& buffer) {
    if (buffer.Capacity() <= kKeptBufferBytes)
        return;
    pages::Return(buffer.Data(), buffer.Data() + buffer.Capacity());
    buffer.Release();
}

constexpr const char* kNoCommunication = "获得通讯句柄错误!";
constexpr const char* kNothingToRead = "没有可以查询的数据!";
constexpr const char* kBadLength = "接收数据长度错误!";

std::string WithoutTrailingSpace(std::string text) {
    while (!text.empty() && (text.back() == ' ' || (text.back() >= '\t' && text.back() <= '\r')))
        text.pop_back();
    return text;
}

// Folds one result code into the outcome: a duplicate-record code makes it -2
// for good; an invalid record makes it -3 unless a duplicate was already seen.
int Classify(int outcome, int code) {
    using namespace protocol::result;
    if (code == kReserveHeld || code == kBankHeld || code == kSameAccountTwice ||
        code == kOtherParticipant)
        return -2;
    if (code == kInvalidRecord && outcome != -2)
        return -3;
    return outcome;
}

} // namespace

void CAccountUploader::ClearBuffers() {
    m_bufRequest.RemoveAll();
    m_bufResponse.RemoveAll();
}

int CAccountUploader::Exchange(std::vector<UploadRequestRecord>& requests,
                               std::vector<UploadResultRecord>& results) {
    return Exchange(requests, results, nullptr);
}

int CAccountUploader::Exchange(std::vector<UploadRequestRecord>& requests,
                               std::vector<UploadResultRecord>& results,
                               upload::ExchangeFacts* facts) {
    upload::ExchangeFacts ignored;
    upload::ExchangeFacts& seen = facts != nullptr ? *facts : ignored;
    seen.sent = upload::WallClock::now();
    seen.outcome = ExchangeOnce(requests, results, seen);
    if (seen.finished == upload::WallClock::time_point{})
        seen.finished = upload::WallClock::now();
    ReleaseIfLarge(m_bufRequest);
    ReleaseIfLarge(m_bufResponse);
    return seen.outcome;
}

int CAccountUploader::ExchangeOnce(std::vector<UploadRequestRecord>& requests,
                                   std::vector<UploadResultRecord>& results,
                                   upload::ExchangeFacts& facts) {
    ClearBuffers();

    CCommunication* comm = GetGolbalCommunicaHandle();
    auto fail = [&](const std::string& message, bool clearStatus) {
        return FailExchange(facts, message, clearStatus);
    };

    if (comm == nullptr) {
        m_strLastError = kNoCommunication;
        return fail(m_strLastError, false);
    }
    // Refused before a serial number is spent: beyond six digits field 1 would
    // overflow and the server could not tell the records apart.
    const std::size_t limit = m_runServices.RecordLimit();
    if (requests.size() > limit) {
        m_strLastError = text::Format("上传记录数[%zu]超过单次上传上限[%zu]条,请使用[逐笔上传]!",
                                      requests.size(), limit);
        return fail(m_strLastError, true);
    }

    char serialNo[protocol::kSerialLength + 1];
    std::memset(serialNo, 0, sizeof serialNo);
    char serialFlag = '0';
    if (comm->ApplySerialNo(protocol::kSystem, protocol::kSubsystem, protocol::kKind, serialNo,
                            &serialFlag) < 0) {
        m_strLastError = text::Format("申请交易序号失败[%s]", comm->LastErrorText.c_str());
        return fail(m_strLastError, true);
    }
    facts.serialNo = text::GbkToUtf8(text::FieldText(serialNo));

    // Every record carries the same two codes; cut them to their fields once.
    char commString1[sizeof(UploadRequestRecord::CommString1)];
    char commString2[sizeof(UploadRequestRecord::CommString2)];
    text::CopyToField(commString1, comm->CommString1);
    text::CopyToField(commString2, comm->CommString2);

    // The body's room is taken once and each record converted straight into
    // its place at 572*i; a fresh buffer holds zero bytes, as a cleared work
    // area would. It grows a slice of records at a time: zero-filling half a
    // gigabyte at once would leave the window unpainted for seconds.
    const std::size_t count = requests.size();
    m_bufRequest.Reserve(count * kRequestWireLength + kPacketHeaderRoom);
    CBusyTicker busy;
    for (std::size_t i = 0; i < count; ++i) {
        busy.Tick();
        if (i % kRecordsPerSlice == 0)
            m_bufRequest.Resize(std::min(count, i + kRecordsPerSlice) * kRequestWireLength);
        UploadRequestRecord& record = requests[i];
        char* end = std::to_chars(record.SeqNo, record.SeqNo + sizeof record.SeqNo - 1, i + 1).ptr;
        *end = '\0';
        std::memcpy(record.CommString1, commString1, sizeof commString1);
        std::memcpy(record.CommString2, commString2, sizeof commString2);
        CGlobalClass::Convert(m_bufRequest.Data() + i * kRequestWireLength, &record,
                              UploadRequestFormat);
    }

    const long bodyLength = static_cast<long>(m_bufRequest.GetSize());
    if (comm->BuildPacketHeader(protocol::kSystem, protocol::kSubsystem, protocol::kKind,
                                protocol::kFunction, serialNo, serialFlag, bodyLength,
                                &m_bufRequest) < 0) {
        m_strLastError = text::Format("申请组包头失败[%s]", comm->LastErrorText.c_str());
        return fail(m_strLastError, true);
    }
    // The records are in the body: whoever made them may let them go.
    m_runServices.BodyBuilt();

    return SendBuilt(comm, count, results, facts, false);
}

int CAccountUploader::FailExchange(upload::ExchangeFacts& facts, const std::string& message,
                                   bool clearStatus, bool show) {
    // The failure is met now; the operator may read its message for long.
    facts.finished = upload::WallClock::now();
    facts.failure = message;
    CCommunication* comm = GetGolbalCommunicaHandle();
    if (clearStatus && comm != nullptr)
        comm->ShowStatus("", 0);
    if (show && m_hMainWnd != nullptr)
        m_hMainWnd->ShowMessage(message);
    return -1;
}

int CAccountUploader::Resend(CDataBuf& request, std::size_t records,
                             std::vector<UploadResultRecord>& results,
                             upload::ExchangeFacts& facts) {
    facts.sent = upload::WallClock::now();
    ClearBuffers();
    CCommunication* comm = GetGolbalCommunicaHandle();
    if (comm == nullptr) {
        m_strLastError = kNoCommunication;
        facts.outcome = FailExchange(facts, m_strLastError, false);
        return facts.outcome;
    }
    std::swap(m_bufRequest, request);
    facts.outcome = SendBuilt(comm, records, results, facts, true);
    // Its first copy went out in an earlier run, whatever this one needed.
    facts.resent = true;
    if (facts.finished == upload::WallClock::time_point{})
        facts.finished = upload::WallClock::now();
    ReleaseIfLarge(m_bufRequest);
    ReleaseIfLarge(m_bufResponse);
    return facts.outcome;
}

int CAccountUploader::SendBuilt(CCommunication* comm, std::size_t count,
                                std::vector<UploadResultRecord>& results,
                                upload::ExchangeFacts& facts, bool quietWhenForgotten) {
    int outcome = 1;
    auto fail = [&](const std::string& message, bool clearStatus) {
        return FailExchange(facts, message, clearStatus);
    };
    // Room for the reply this request calls for, taken once: the reply is
    // never copied as it grows, and a peer announcing more gets no more up front.
    m_bufResponse.Reserve(kPrefixMode1 + kSkippedBytes + kResponseHeaderWireLength +
                          count * kResultWireLength);
    facts.reachedGateway = true;
    const int sent = comm->SendAndReceive(&m_bufRequest, &m_bufResponse, 0);
    facts.resent = comm->LastRequestResent;
    if (sent < 0) {
        // No reply could be had: the request may have been stored. Its bytes
        // are kept to ask the gateway's record about it later.
        m_pLostRequest = std::make_shared<CDataBuf>(std::move(m_bufRequest));
        m_bufRequest = CDataBuf();
        m_strLastError = WithoutTrailingSpace(comm->LastErrorText);
        return fail(m_strLastError, true);
    }
    // The reply is complete: the request's bytes are done with.
    ReleaseIfLarge(m_bufRequest);

    std::size_t prefix = kPrefixMode0;
    if (comm->GetHeaderMode() != 0) {
        const int mode = comm->GetHeaderMode();
        if (mode != 1) {
            m_strLastError = text::Format("通讯包头模式[%d]无法识别!", mode);
            return fail(m_strLastError, true);
        }
        prefix = kPrefixMode1;
    }

    // Nothing is read that did not arrive: a response too short to hold its
    // header is a length error, not a header of zero bytes.
    const std::size_t received = m_bufResponse.GetSize();
    const std::size_t headerAt = prefix + kSkippedBytes;
    const std::size_t resultsAt = headerAt + kResponseHeaderWireLength;
    if (received < resultsAt)
        return fail(kBadLength, true);

    char rawHeader[kResponseHeaderWireLength];
    std::memset(rawHeader, 0, sizeof rawHeader);
    m_bufResponse.ReadFromBuf(rawHeader, headerAt, sizeof rawHeader);
    ResponseHeader header;
    std::memset(&header, 0, sizeof header);
    CGlobalClass::Convert(&header, rawHeader, ResponseHeaderFormat);
    facts.returnCode = text::GbkToUtf8(text::TrimGbk(text::FieldText(header.ReturnCode)));
    // The server's message is GBK; an accepted request's ("处理完成") is kept too.
    facts.returnMessage = text::GbkToUtf8(text::TrimGbk(text::FieldText(header.ReturnMessage)));

    if (std::memcmp(header.ReturnCode, protocol::kAccepted, sizeof header.ReturnCode - 1) != 0) {
        // The status text stays up while the message shows. A request sent
        // again later that the gateway no longer remembers is no news to
        // the operator: its rows stay unknown and go out anew.
        m_strLastError = facts.returnMessage;
        const bool forgotten = facts.returnCode == upload::kForgottenSerial;
        return FailExchange(facts, m_strLastError, false, !(quietWhenForgotten && forgotten));
    }

    const std::int64_t length = text::ParseDecimal64(text::FieldText(header.DataLength));
    if (length == 0)
        return fail(kNothingToRead, true);
    const auto resultLength = static_cast<std::int64_t>(kResultWireLength);
    if (length % resultLength != 0 || length / resultLength < 1)
        return fail(kBadLength, true);
    // The announced result data must have arrived whole: a missing record is
    // never read as zero bytes, and nothing is allocated for bytes not held.
    if (static_cast<std::uint64_t>(length) > received - resultsAt)
        return fail(kBadLength, true);

    const auto resultCount = static_cast<std::size_t>(length / resultLength);
    results.reserve(results.size() + resultCount);
    const char* raw = m_bufResponse.Data() + resultsAt;
    CBusyTicker busy;
    // A batch's reply is read once, front to back: what has been read goes
    // back while the results fill, so the two are not resident together.
    const bool large = m_bufResponse.Capacity() > kKeptBufferBytes;
    pages::ReturnBehind readPages(raw);
    UploadResultRecord work;
    std::memset(&work, 0, sizeof work);
    for (std::size_t k = 0; k < resultCount; ++k) {
        busy.Tick();
        const char* record = raw + k * kResultWireLength;
        CGlobalClass::Convert(&work, record, UploadResultFormat);
        outcome = Classify(outcome, text::ParseDecimal32(text::FieldText(work.ResultCode)));
        results.push_back(work);
        if (large && (k & 1023u) == 1023u)
            readPages.ReadUpTo(record + kResultWireLength);
    }
    return outcome;
}
