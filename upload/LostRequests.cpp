#include "upload/LostRequests.h"

namespace upload {

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
