#pragma once
// Stand-ins for the window that keep nothing but what the fuzz checks need:
// a list that counts its rows and checks that every cell is UTF-8, and a main
// window that counts its messages.

#include "FuzzCheck.h"
#include "support/MainWindow.h"
#include "support/ReportList.h"

#include <string>

class DiscardingReportList : public IReportList {
public:
    void DeleteAllItems() override { m_rows = 0; }
    int GetItemCount() const override { return m_rows; }
    int InsertItem(int row, const std::string& text) override {
        FUZZ_CHECK(fuzzcheck::IsValidUtf8(text));
        (void)row;
        return m_rows++;
    }
    void SetItemText(int row, int column, const std::string& text) override {
        FUZZ_CHECK(row >= 0 && row < m_rows && column >= 0);
        FUZZ_CHECK(fuzzcheck::IsValidUtf8(text));
    }

private:
    int m_rows = 0;
};

class CountingMainWindow : public IMainWindow {
public:
    void ShowMessage(const std::string& text) override {
        FUZZ_CHECK(fuzzcheck::IsValidUtf8(text));
        ++messages;
        lastMessage = text;
    }
    void PumpMessages() override {}

    int messages = 0;
    std::string lastMessage;
};
