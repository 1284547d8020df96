// The status line's texts stay on one line: when the line is too short they
// are cut at a character boundary and end in "…", the whole text in the tool
// tip; a count joining the line never cuts the status text mid-character.

#include "ui/StatusLine.h"
#include "ui/DialogUnits.h"

#include <QLabel>
#include <QtTest>

namespace {

// True when `shown` is `text` or a prefix of it, whole characters only, + "…".
bool CutAtCharacter(const QString& shown, const QString& text) {
    if (shown == text || shown.isEmpty())
        return true;
    if (!shown.endsWith(QChar(0x2026)))
        return false;
    const QString kept = shown.chopped(1);
    return text.startsWith(kept) && (kept.isEmpty() || !kept.back().isHighSurrogate());
}

} // namespace

class StatusLineTest : public QObject {
    Q_OBJECT

private slots:
    void textsAreCutAtCharactersAndNeverWrap() {
        const struct {
            int width;
            const char* status;
            QString wait;
            int done, total;
        } cases[] = {
            {400, "正在发送数据,请稍侯...", "", 0, 0},
            {120, "正在发送数据,请稍侯...", "", 0, 0},
            {220, "正在发送数据,请稍侯...", "发 1.2/561.9 MB 收 0 B 3 秒", 0, 0},
            {220, "正在发送数据,请稍侯...", "发 1.2/561.9 MB 收 133/133 B 12 秒", 999999, 1999950},
            {90, "正在发送数据,请稍侯...", "发 1.2/561.9 MB 收 0 B 3 秒", 999999, 1999950},
            {600, "正在发送数据,请稍侯...", "发 1.2/561.9 MB 收 0 B 3 秒", 999999, 1999950},
            {150, "😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀", "", 0, 0},
        };
        for (const auto& c : cases) {
            CStatusLine line;
            line.setFont(DialogFont());
            line.resize(c.width, 20);
            line.show();
            line.ShowStatus(c.status);
            line.ShowWait(c.wait, c.wait);
            line.ShowProgress(c.done, c.total);
            const QString status = QString::fromUtf8(c.status);
            const QString count =
                c.total > 0 ? QStringLiteral("%1 / %2").arg(c.done).arg(c.total) : QString();
            const QString what = QStringLiteral("width %1: ").arg(c.width);
            QVERIFY2(CutAtCharacter(line.ShownStatus(), status),
                     qPrintable(what + line.ShownStatus()));
            QVERIFY2(CutAtCharacter(line.ShownWait(), c.wait), qPrintable(what + line.ShownWait()));
            QVERIFY2(CutAtCharacter(line.ShownProgress(), count),
                     qPrintable(what + line.ShownProgress()));
            // Every label on one line, inside the status line.
            for (QLabel* label : line.findChildren<QLabel*>()) {
                if (label->isHidden())
                    continue;
                QVERIFY(!label->wordWrap());
                QVERIFY2(line.rect().contains(label->geometry()),
                         qPrintable(what + label->objectName()));
                QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                         qPrintable(what + label->objectName() + " " + label->text()));
            }
            if (c.width >= 600) {
                QCOMPARE(line.ShownStatus(), status);
                QCOMPARE(line.ShownWait(), c.wait);
                QCOMPARE(line.ShownProgress(), count);
            }
        }
    }

    void theProgressGoesWhenTheRunEnds() {
        CStatusLine line;
        line.resize(400, 20);
        line.show();
        line.ShowProgress(3, 5);
        QCOMPARE(line.ShownProgress(), QStringLiteral("3 / 5"));
        line.ShowProgress(0, 0);
        QVERIFY(!line.ProgressVisible());
        QCOMPARE(line.ShownProgress(), QString());
    }
};

QTEST_MAIN(StatusLineTest)
#include "StatusLineTest.moc"
