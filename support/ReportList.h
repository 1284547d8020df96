#pragma once
// A report-style list of rows and text cells, as the core sees it. The Qt
// window, the terminal front end and the tests each provide one. Cell texts are
// UTF-8.

#include <string>

class IReportList {
public:
    virtual ~IReportList() = default;
    virtual void DeleteAllItems() = 0;
    virtual int GetItemCount() const = 0;
    // Inserts a row at `row` whose column 0 reads `text`; returns its index.
    virtual int InsertItem(int row, const std::string& text) = 0;
    // Sets the text of one cell; a row or column that does not exist is ignored.
    virtual void SetItemText(int row, int column, const std::string& text) = 0;

    // Makes room for `count` more rows before they are inserted, so that a
    // list too large for the memory fails here, cleanly, and not half-way
    // through its rows (Qt's containers do not survive a failed allocation).
    // False, with the list as it was, when the memory is not there.
    virtual bool ReserveItems(int count) { return count >= 0; }
    // True when a row or a cell text could not be stored for want of memory
    // since the list was last emptied; the list itself stays consistent.
    virtual bool IsShortOfMemory() const { return false; }
};
