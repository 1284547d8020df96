#pragma once
// Text cells of a report list, kept compact enough for a million rows: each
// column keeps its texts length-prefixed in fixed chunks of bytes, and a cell
// is the 8-byte position of its text there. Nothing is allocated per cell and
// nothing already stored is ever moved, so filling a list and rewriting its
// cells stay fast. Plain C++; the list model wraps it for Qt views.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "ui/PageMemory.h"

class CCellStore {
public:
    explicit CCellStore(int columns);

    int Columns() const { return static_cast<int>(m_columns.size()); }
    int Rows() const { return static_cast<int>(m_rowCount); }

    // Makes room for `rows` more rows, so that inserting them allocates
    // nothing; false, with the store as it was, when the memory is not there.
    bool Reserve(std::size_t rows);
    // Inserts an empty row before `row` (0 <= row <= Rows()). Throws
    // std::bad_alloc, with the store as it was, unless room was reserved.
    void InsertRow(int row);
    // Sets one cell; the caller has checked row and column. Throws
    // std::bad_alloc, with the cell as it was, when its text finds no room.
    void Set(int row, int column, std::string_view text);
    std::string_view Get(int row, int column) const;
    // Empties the store.
    void Clear();

    // Bytes of text held, garbage included (for tests of compaction).
    std::size_t TextBytes() const;

private:
    struct Chunk {
        PageBlock bytes;
        std::size_t size = 0;
        std::size_t used = 0;
    };
    // Cell positions in blocks that never move as the list grows.
    class PositionArray {
    public:
        std::size_t Size() const { return m_size; }
        std::uint64_t& operator[](std::size_t i) { return Block(i >> kShift)[i & kMask]; }
        std::uint64_t operator[](std::size_t i) const { return Block(i >> kShift)[i & kMask]; }
        void PushBack(std::uint64_t value);
        // Allocates the blocks for `more` further values; strong guarantee.
        void Reserve(std::size_t more);
        void Insert(std::size_t at, std::uint64_t value);
        template <typename F> void ForEach(F&& f) {
            for (std::size_t i = 0; i < m_size; ++i)
                f((*this)[i]);
        }

    private:
        static constexpr std::size_t kShift = 13;
        static constexpr std::size_t kMask = (std::size_t{1} << kShift) - 1;
        std::uint64_t* Block(std::size_t b) const {
            return reinterpret_cast<std::uint64_t*>(m_blocks[b].get());
        }
        std::vector<PageBlock> m_blocks;
        std::size_t m_size = 0;
    };

    struct Column {
        Column() = default;
        Column(Column&&) = default;
        Column& operator=(Column&&) = default;
        Column(const Column&) = delete;
        Column& operator=(const Column&) = delete;

        std::vector<Chunk> chunks; // position 0 is the empty text, stored nowhere
        PositionArray cells;       // (chunk << 32 | offset) of each row's text
        std::size_t bytes = 0;     // text bytes stored, garbage included
        std::size_t garbage = 0;   // bytes of texts no cell points to any more
    };

    static Column EmptyColumn();
    static std::string_view Decode(const Column& column, std::uint64_t position);
    static std::uint64_t Append(Column& column, std::string_view text);
    static void Compact(Column& column);

    std::vector<Column> m_columns;
    std::size_t m_rowCount = 0;
};
