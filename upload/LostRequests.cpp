#include "upload/LostRequests.h"

#include "protocol/WireFormat.h"
#include "support/BusyTicker.h"
#include "upload/RecordFormats.h"

namespace upload {

std::shared_ptr<std::vector<UploadRequestRecord>> RecordsOf(const CDataBuf& bytes) {
    auto records = std::make_shared<std::vector<UploadRequestRecord>>();
    if (bytes.GetSize() < protocol::kPacketHeaderLength)
        return records;
    const std::size_t count =
        (bytes.GetSize() - protocol::kPacketHeaderLength) / protocol::kRequestRecordLength;
    records->resize(count);
    CBusyTicker busy;
    for (std::size_t i = 0; i < count; ++i) {
        busy.Tick();
        CGlobalClass::Convert(&(*records)[i],
                              bytes.Data() + protocol::kPacketHeaderLength +
                                  i * protocol::kRequestRecordLength,
                              UploadRequestFromWire);
    }
    return records;
}

void LostRequests::Add(LostRequest request) {
    if (!request.bytes || request.rows.empty())
        return;
    m_requests.push_back(std::move(request));
    if (m_requests.size() > kKept)
        m_requests.erase(m_requests.begin());
}

std::vector<LostRequest> LostRequests::Take(std::uint64_t generation) {
    std::vector<LostRequest> taken;
    for (LostRequest& request : m_requests)
        if (request.generation == generation)
            taken.push_back(std::move(request));
    m_requests.clear();
    return taken;
}

} // namespace upload
