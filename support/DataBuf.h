#pragma once
// The growable byte buffer that carries requests and responses.

#include <cstddef>
#include <vector>

class CDataTable; // never defined: callers always pass a null pointer

class CDataBuf {
public:
    // Places `length` bytes at `offset`, growing the buffer as needed; a gap
    // between the old end and `offset` is filled with zero bytes. Returns the
    // number of bytes placed.
    int InsertDataToBuf(const void* data, std::size_t offset, std::size_t length,
                        CDataTable* table = nullptr);

    // Copies `length` bytes from `offset` into `destination`. Bytes beyond the
    // data held read as zero. Returns the number of held bytes copied.
    int ReadFromBuf(void* destination, std::size_t offset, std::size_t length) const;

    std::size_t GetSize() const { return m_bytes.size(); }

    // Empties the buffer and keeps its storage for the next use.
    void RemoveAll() { m_bytes.clear(); }

    // Makes room for `capacity` bytes up front, for callers that know the size.
    void Reserve(std::size_t capacity) { m_bytes.reserve(capacity); }
    std::size_t Capacity() const { return m_bytes.capacity(); }
    // Empties the buffer and hands its storage back.
    void Release() { std::vector<char>().swap(m_bytes); }

    const char* Data() const { return m_bytes.data(); }
    char* Data() { return m_bytes.data(); }

    // Sets the size, zero-filling any new bytes; for the transport that fills
    // the buffer from the network.
    void Resize(std::size_t size) { m_bytes.resize(size); }

private:
    std::vector<char> m_bytes;
};
