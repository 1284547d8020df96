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
};
