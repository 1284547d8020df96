#include "ui/CellStore.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// Chunks grow from small (a list of a few rows stays small) to a size that
// keeps the number of system allocations low for a million rows.
constexpr std::size_t kFirstChunkSize = 16 * 1024;
constexpr std::size_t kChunkSize = 1024 * 1024;
// Rewriting cells leaves their old texts behind; a column is rebuilt once the
// garbage outweighs the live texts and is worth the copy.
constexpr std::size_t kCompactMinimum = 64 * 1024;

std::size_t EncodedSize(std::size_t length) {
    std::size_t size = length + 1;
    for (std::size_t n = length >> 7; n != 0; n >>= 7)
        ++size;
    return size;
}

} // namespace

CCellStore::CCellStore(int columns) {
    m_columns.resize(static_cast<std::size_t>(columns < 1 ? 1 : columns));
    for (Column& column : m_columns)
        column = EmptyColumn();
}

CCellStore::Column CCellStore::EmptyColumn() {
    return Column();
}

void CCellStore::PositionArray::PushBack(std::uint64_t value) {
    if ((m_size >> kShift) == m_blocks.size())
        m_blocks.push_back(AllocatePageBlock((kMask + 1) * sizeof(std::uint64_t)));
    (*this)[m_size++] = value;
}

void CCellStore::PositionArray::Reserve(std::size_t more) {
    const std::size_t wanted = (m_size + more + kMask) >> kShift;
    if (wanted <= m_blocks.size())
        return;
    std::vector<PageBlock> fresh;
    fresh.reserve(wanted - m_blocks.size());
    while (m_blocks.size() + fresh.size() < wanted)
        fresh.push_back(AllocatePageBlock((kMask + 1) * sizeof(std::uint64_t)));
    m_blocks.reserve(wanted); // the last step that can fail
    for (PageBlock& block : fresh)
        m_blocks.push_back(std::move(block));
}

void CCellStore::PositionArray::Insert(std::size_t at, std::uint64_t value) {
    PushBack(value);
    for (std::size_t i = m_size - 1; i > at; --i)
        (*this)[i] = (*this)[i - 1];
    (*this)[at] = value;
}

bool CCellStore::Reserve(std::size_t rows) {
    // Column by column: a failure leaves earlier columns with spare blocks,
    // which is room, not a change of contents.
    try {
        for (Column& column : m_columns)
            column.cells.Reserve(rows);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

void CCellStore::InsertRow(int row) {
    // All columns grow or none does.
    if (!Reserve(1))
        throw std::bad_alloc();
    for (Column& column : m_columns) {
        if (static_cast<std::size_t>(row) == column.cells.Size())
            column.cells.PushBack(0);
        else
            column.cells.Insert(static_cast<std::size_t>(row), 0);
    }
    ++m_rowCount;
}

void CCellStore::Set(int row, int column, std::string_view text) {
    Column& target = m_columns[static_cast<std::size_t>(column)];
    std::uint64_t& cell = target.cells[static_cast<std::size_t>(row)];
    const std::size_t dropped = cell != 0 ? EncodedSize(Decode(target, cell).size()) : 0;
    cell = text.empty() ? 0 : Append(target, text);
    target.garbage += dropped;
    if (target.garbage > kCompactMinimum && target.garbage > target.bytes / 2)
        Compact(target);
}

std::string_view CCellStore::Get(int row, int column) const {
    const Column& source = m_columns[static_cast<std::size_t>(column)];
    return Decode(source, source.cells[static_cast<std::size_t>(row)]);
}

void CCellStore::Clear() {
    for (Column& column : m_columns)
        column = EmptyColumn();
    m_rowCount = 0;
}

std::size_t CCellStore::TextBytes() const {
    std::size_t total = 0;
    for (const Column& column : m_columns)
        total += column.bytes;
    return total;
}

std::string_view CCellStore::Decode(const Column& column, std::uint64_t position) {
    if (position == 0)
        return {};
    const Chunk& chunk = column.chunks[static_cast<std::size_t>(position >> 32)];
    std::size_t pos = static_cast<std::size_t>(position & 0xFFFFFFFFu);
    std::size_t length = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(chunk.bytes[pos++]);
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0)
            break;
    }
    return {chunk.bytes.get() + pos, length};
}

std::uint64_t CCellStore::Append(Column& column, std::string_view text) {
    const std::size_t needed = EncodedSize(text.size());
    if (column.chunks.empty() || column.chunks.back().size - column.chunks.back().used < needed) {
        // A text never spans two chunks; a long one gets a chunk of its own size.
        Chunk chunk;
        const std::size_t grown =
            column.chunks.empty() ? kFirstChunkSize : column.chunks.back().size * 2;
        chunk.size = std::max(needed + 1, std::min(grown, kChunkSize));
        // Position 0 means the empty text, so the first chunk's first byte stays unused.
        chunk.used = column.chunks.empty() ? 1 : 0;
        chunk.bytes = AllocatePageBlock(chunk.size);
        column.chunks.push_back(std::move(chunk));
    }
    Chunk& chunk = column.chunks.back();
    const std::uint64_t position =
        (static_cast<std::uint64_t>(column.chunks.size() - 1) << 32) | chunk.used;
    char* out = chunk.bytes.get() + chunk.used;
    std::size_t length = text.size();
    while (length >= 0x80) {
        *out++ = static_cast<char>((length & 0x7F) | 0x80);
        length >>= 7;
    }
    *out++ = static_cast<char>(length);
    std::memcpy(out, text.data(), text.size());
    chunk.used += needed;
    column.bytes += needed;
    return position;
}

void CCellStore::Compact(Column& column) {
    // The new positions are kept apart until every text has its new place, so
    // that a failed allocation leaves the column as it was, garbage and all.
    try {
        Column rebuilt = EmptyColumn();
        std::vector<std::uint64_t> moved;
        moved.reserve(column.cells.Size());
        column.cells.ForEach([&](std::uint64_t& cell) {
            moved.push_back(cell != 0 ? Append(rebuilt, Decode(column, cell)) : 0);
        });
        std::size_t i = 0;
        column.cells.ForEach([&](std::uint64_t& cell) { cell = moved[i++]; });
        rebuilt.cells = std::move(column.cells);
        column = std::move(rebuilt);
    } catch (const std::bad_alloc&) {
        // Compaction only saves memory; the texts stay where they are.
    }
}
