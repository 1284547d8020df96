#include "cli/PasswordInput.h"
#include "cli/TerminalMainWindow.h"
#include "cli/TerminalReportList.h"
#include "cli/TerminalWaitHook.h"

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

TEST(TerminalWaitHook, ProgressFiguresAndOneLineRewrittenInPlace) {
    const struct {
        WaitProgress progress;
        const char* full;
        const char* brief;
    } cases[] = {
        {{12, 12, 0, 0, 0.15}, "已发送 12/12 B,已接收 0 B,已等待 0.1 秒", "发 12/12 B 收 0 B 0 秒"},
        {{1536, 3072, 700, 0, 2.0},
         "已发送 1.5/3.0 KB,已接收 700 B,已等待 2.0 秒",
         "发 1.5/3.0 KB 收 700 B 2 秒"},
        {{600u << 20, 600u << 20, 5u << 20, 640u << 20, 12.34},
         "已发送 600.0/600.0 MB,已接收 5.0/640.0 MB,已等待 12.3 秒",
         "发 600.0/600.0 MB 收 5.0/640.0 MB 12 秒"},
        // The gateway's own count, from its keep-alives.
        {{600u << 20, 600u << 20, 0, 0, 14.0, 120000, 999999},
         "已发送 600.0/600.0 MB,已接收 0 B,已等待 14.0 秒,网关已处理 120000/999999 条",
         "发 600.0/600.0 MB 收 0 B 14 秒 网关 120000/999999 条"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatWaitProgress(c.progress), c.full);
        EXPECT_EQ(FormatWaitProgressShort(c.progress), c.brief);
    }

    std::ostringstream out;
    CTerminalWaitHook hook(out);
    hook.OnWaitEnded(); // nothing shown, nothing to erase
    WaitProgress progress{10, 10, 0, 0, 0.1};
    hook.OnWaiting(progress);
    progress.secondsWaited = 0.2; // too soon for the next line
    hook.OnWaiting(progress);
    progress.secondsWaited = 0.4;
    hook.OnWaiting(progress);
    hook.OnWaitEnded();
    EXPECT_EQ(out.str(), "\r\x1b[K[等待] 已发送 10/10 B,已接收 0 B,已等待 0.1 秒"
                         "\r\x1b[K[等待] 已发送 10/10 B,已接收 0 B,已等待 0.4 秒"
                         "\r\x1b[K");
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
