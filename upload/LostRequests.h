#pragma once
// Requests of this session whose reply could not be had: sent whole, then no
// usable answer, even after the resends. Their rows are unknown. The next
// "upload new" sends each of them once more, with the same serial and the
// same bytes, so the gateway's record of the request settles its rows before
// anything else goes out.

#include "support/DataBuf.h"
#include "upload/RowOutcomes.h"
#include "upload/UploadRecords.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace upload {

struct LostRequest {
    std::uint64_t generation = 0;    // the load its rows belong to
    std::vector<RowRef> rows;        // the row of each record, in request order
    std::shared_ptr<CDataBuf> bytes; // the request as sent: packet header and body
    std::shared_ptr<std::vector<UploadRequestRecord>> records; // for the journal
};

// The request records of a request's bytes (packet header and body), for a
// lost request whose records went once its body was built.
std::shared_ptr<std::vector<UploadRequestRecord>> RecordsOf(const CDataBuf& bytes);

class LostRequests {
public:
    // A request's bytes can be half a gigabyte: only the latest few are kept.
    static constexpr std::size_t kKept = 4;

    void Add(LostRequest request);
    // Hands out those whose rows are still loaded, oldest first, and forgets
    // the rest.
    std::vector<LostRequest> Take(std::uint64_t generation);
    std::size_t Size() const { return m_requests.size(); }

private:
    std::vector<LostRequest> m_requests;
};

} // namespace upload
