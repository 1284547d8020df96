#pragma once
// Text cells of a report list, kept compact enough for a million rows: each
// column is one byte arena of length-prefixed texts, and a cell is the 8-byte
// offset of its text there. No allocation per cell, so filling and rewriting
// cells stays fast. Plain C++; the list model wraps it for Qt views.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CCellStore {
public:
    explicit CCellStore(int columns);

    int Columns() const { return static_cast<int>(m_columns.size()); }
    int Rows() const { return static_cast<int>(m_rowCount); }

    // Inserts an empty row before `row` (0 <= row <= Rows()).
    void InsertRow(int row);
    // Sets one cell; the caller has checked row and column.
    void Set(int row, int column, std::string_view text);
    std::string_view Get(int row, int column) const;
    // Empties the store; storage is kept for the next fill.
    void Clear();

    // Bytes held by the arenas, garbage included (for tests of compaction).
    std::size_t ArenaBytes() const;

private:
    struct Column {
        std::vector<char> arena;      // [varint length][bytes] per text; offset 0 is ""
        std::vector<std::uint64_t> cells; // offset of each row's text
        std::size_t garbage = 0;      // bytes of texts no cell points to any more
    };

    static std::size_t EncodedSize(std::string_view text);
    static std::string_view Decode(const std::vector<char>& arena, std::uint64_t offset);
    static std::uint64_t Append(Column& column, std::string_view text);
    static void Compact(Column& column);

    std::vector<Column> m_columns;
    std::size_t m_rowCount = 0;
};
