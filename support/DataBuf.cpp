#include "support/DataBuf.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {
int ClampToInt(std::size_t n) {
    return static_cast<int>(std::min<std::size_t>(n, INT_MAX));
}
} // namespace

int CDataBuf::InsertDataToBuf(const void* data, std::size_t offset, std::size_t length,
                              CDataTable* /*table*/) {
    if (length == 0)
        return 0;
    if (offset + length > m_bytes.size())
        m_bytes.resize(offset + length);
    std::memcpy(m_bytes.data() + offset, data, length);
    return ClampToInt(length);
}

int CDataBuf::ReadFromBuf(void* destination, std::size_t offset, std::size_t length) const {
    auto* out = static_cast<char*>(destination);
    const std::size_t held =
        offset < m_bytes.size() ? std::min(length, m_bytes.size() - offset) : 0;
    if (held > 0)
        std::memcpy(out, m_bytes.data() + offset, held);
    if (held < length)
        std::memset(out + held, 0, length - held);
    return ClampToInt(held);
}
