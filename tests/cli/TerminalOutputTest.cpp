#include "cli/PasswordInput.h"
#include "cli/TerminalMainWindow.h"
#include "cli/TerminalReportList.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(TerminalMainWindow, MessageIsOneBlockWithItsOwnLineBreaks) {
    std::ostringstream out;
    CTerminalMainWindow window(out);
    window.ShowMessage("上传A股备付金成功1条,失败0条;\n具体请看列表中结果说明.");
    window.ShowMessage("");
    window.PumpMessages();
    EXPECT_EQ(out.str(), "[提示]\n上传A股备付金成功1条,失败0条;\n具体请看列表中结果说明.\n\n"
                         "[提示]\n\n\n");
}

TEST(TerminalMainWindow, StatusLineShowsTextOrClearedMarker) {
    EXPECT_EQ(FormatStatusLine("正在登录..."), "[状态] 正在登录...");
    EXPECT_EQ(FormatStatusLine(""), "[状态]");
    EXPECT_EQ(FormatStatusLine(" "), "[状态]  ");
}

TEST(TerminalReportList, RowsPrintTabSeparatedWithEveryColumn) {
    CTerminalReportList list(5);
    EXPECT_EQ(list.InsertItem(0, "1"), 0);
    EXPECT_EQ(list.InsertItem(99, "2"), 1); // past the end appends
    list.SetItemText(0, 1, " ");
    list.SetItemText(0, 4, "恒信证券");
    list.SetItemText(1, 2, "a\tb\\c\nd\re");
    list.SetItemText(2, 0, "ignored"); // no such row
    list.SetItemText(0, 5, "ignored"); // no such column
    std::ostringstream out;
    list.Print(out, "reserve");
    EXPECT_EQ(out.str(), "reserve\t1\t \t\t\t恒信证券\n"
                         "reserve\t2\t\ta\\tb\\\\c\\nd\\re\t\t\n");
    list.DeleteAllItems();
    EXPECT_EQ(list.GetItemCount(), 0);
}

TEST(PasswordInput, FirstLineWithoutItsLineEnd) {
    struct Case {
        std::string input;
        std::string password;
    };
    for (const Case& c :
         {Case{"secret\n", "secret"}, Case{"secret", "secret"}, Case{"secret\r\n", "secret"},
          Case{"", ""}, Case{"\n", ""}, Case{"  \n", "  "}, Case{"first\nsecond\n", "first"},
          Case{"口令 with space\n", "口令 with space"}}) {
        std::istringstream in(c.input);
        EXPECT_EQ(ReadPasswordLine(in), c.password) << c.input;
    }
}

TEST(PasswordInput, OverlongLineIsRefusedNotReadForever) {
    std::istringstream atLimit(std::string(kMaxPasswordLength, 'x') + "\n");
    EXPECT_EQ(ReadPasswordLine(atLimit)->size(), kMaxPasswordLength);
    std::istringstream over(std::string(kMaxPasswordLength + 1, 'x'));
    EXPECT_FALSE(ReadPasswordLine(over).has_value());
}
