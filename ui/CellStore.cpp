#include "ui/CellStore.h"

namespace {
// Rewriting cells leaves their old texts behind; the arena is rebuilt once the
// garbage outweighs the live texts and is worth the copy.
constexpr std::size_t kCompactMinimum = 64 * 1024;
} // namespace

CCellStore::CCellStore(int columns) : m_columns(static_cast<std::size_t>(columns < 1 ? 1 : columns)) {
    for (Column& column : m_columns)
        column.arena.push_back(0);
}

void CCellStore::InsertRow(int row) {
    const auto at = static_cast<std::ptrdiff_t>(row);
    for (Column& column : m_columns) {
        if (static_cast<std::size_t>(row) == column.cells.size())
            column.cells.push_back(0);
        else
            column.cells.insert(column.cells.begin() + at, 0);
    }
    ++m_rowCount;
}

void CCellStore::Set(int row, int column, std::string_view text) {
    Column& target = m_columns[static_cast<std::size_t>(column)];
    std::uint64_t& cell = target.cells[static_cast<std::size_t>(row)];
    if (cell != 0)
        target.garbage += EncodedSize(Decode(target.arena, cell));
    cell = text.empty() ? 0 : Append(target, text);
    if (target.garbage > kCompactMinimum && target.garbage > target.arena.size() / 2)
        Compact(target);
}

std::string_view CCellStore::Get(int row, int column) const {
    const Column& source = m_columns[static_cast<std::size_t>(column)];
    return Decode(source.arena, source.cells[static_cast<std::size_t>(row)]);
}

void CCellStore::Clear() {
    for (Column& column : m_columns) {
        column.arena.resize(1);
        column.cells.clear();
        column.garbage = 0;
    }
    m_rowCount = 0;
}

std::size_t CCellStore::ArenaBytes() const {
    std::size_t total = 0;
    for (const Column& column : m_columns)
        total += column.arena.size();
    return total;
}

std::size_t CCellStore::EncodedSize(std::string_view text) {
    std::size_t size = text.size() + 1;
    for (std::size_t n = text.size() >> 7; n != 0; n >>= 7)
        ++size;
    return size;
}

std::string_view CCellStore::Decode(const std::vector<char>& arena, std::uint64_t offset) {
    std::size_t pos = static_cast<std::size_t>(offset);
    std::size_t length = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(arena[pos++]);
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0)
            break;
    }
    return {arena.data() + pos, length};
}

std::uint64_t CCellStore::Append(Column& column, std::string_view text) {
    const std::uint64_t offset = column.arena.size();
    std::size_t length = text.size();
    while (length >= 0x80) {
        column.arena.push_back(static_cast<char>((length & 0x7F) | 0x80));
        length >>= 7;
    }
    column.arena.push_back(static_cast<char>(length));
    column.arena.insert(column.arena.end(), text.begin(), text.end());
    return offset;
}

void CCellStore::Compact(Column& column) {
    Column rebuilt;
    rebuilt.arena.reserve(column.arena.size() - column.garbage);
    rebuilt.arena.push_back(0);
    rebuilt.cells.reserve(column.cells.capacity());
    for (std::uint64_t cell : column.cells)
        rebuilt.cells.push_back(cell == 0 ? 0 : Append(rebuilt, Decode(column.arena, cell)));
    column = std::move(rebuilt);
}
