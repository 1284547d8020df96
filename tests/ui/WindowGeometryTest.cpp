// The windows' geometry: dialog units converted with the template font's base
// units, one-line controls grown around their template rectangles to the
// height their text needs, and every text inside the control that shows it.
//
// "Fits": the text's bounding box (one line, as drawn) lies inside the
// control's content rectangle, which is the label's contents, the button's
// contents as the style lays them out, or a column title's section less the
// header's margins. The result-code column is zero wide on purpose.

#include "WindowTestSupport.h"

#include "fakes/ScriptedCommunication.h"
#include "ui/AboutDlg.h"
#include "ui/DialogUnits.h"
#include "ui/ReportListView.h"
#include "ui/ReserveUploadDlg.h"
#include "ui/StatusLine.h"

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QtTest>

namespace {

// Why `widget`'s text does not fit, or empty when it does.
QString WhyNotFitting(const QWidget& widget) {
    const QFontMetrics metrics = widget.fontMetrics();
    QRect content;
    QString text;
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        content = label->contentsRect();
        text = label->text();
    } else if (const auto* button = qobject_cast<const QPushButton*>(&widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.features =
            button->isDefault() ? QStyleOptionButton::DefaultButton : QStyleOptionButton::None;
        content = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        text = button->text();
    } else {
        return QStringLiteral("no text to measure");
    }
    const QSize needed = metrics.size(Qt::TextSingleLine | Qt::TextShowMnemonic, text);
    if (needed.width() <= content.width() && needed.height() <= content.height())
        return {};
    return QStringLiteral("%1 \"%2\": text %3x%4 in %5x%6")
        .arg(widget.objectName(), text)
        .arg(needed.width())
        .arg(needed.height())
        .arg(content.width())
        .arg(content.height());
}

QStringList ColumnTitlesNotFitting(const CReportListView& list) {
    QStringList problems;
    const QHeaderView* header = list.horizontalHeader();
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    const QFontMetrics metrics = header->fontMetrics();
    for (int column = 0; column < header->count(); ++column) {
        if (header->sectionSize(column) == 0)
            continue; // the result code's column is hidden until dragged open
        const QString title = list.model()->headerData(column, Qt::Horizontal).toString();
        const QSize needed = metrics.size(Qt::TextSingleLine, title);
        const int width = header->sectionSize(column) - 2 * margin;
        const int height = header->height() - 2; // the section's frame lines
        if (needed.width() > width || needed.height() > height)
            problems << QStringLiteral("%1 column \"%2\": %3x%4 in %5x%6")
                            .arg(list.objectName(), title)
                            .arg(needed.width())
                            .arg(needed.height())
                            .arg(width)
                            .arg(height);
    }
    return problems;
}

QStringList TextsNotFitting(const QWidget& window) {
    QStringList problems;
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            if (const QString why = WhyNotFitting(*label); !why.isEmpty())
                problems << why;
    for (const QPushButton* button : window.findChildren<QPushButton*>())
        if (const QString why = WhyNotFitting(*button); !why.isEmpty())
            problems << why;
    for (const CReportListView* list : window.findChildren<CReportListView*>())
        problems << ColumnTitlesNotFitting(*list);
    return problems;
}

struct TemplateRect {
    const char* name;
    int x, y, width, height;
};

} // namespace

class WindowGeometryTest : public QObject {
    Q_OBJECT

    ScriptedCommunication comm;

private slots:
    void init() { SetGolbalCommunicaHandle(&comm); }
    void cleanup() {
        SetGolbalCommunicaHandle(nullptr);
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void dialogUnitsUseTheTemplateFontsBaseUnits() {
        const struct {
            int dpi, units, x, y;
        } cases[] = {
            {96, 476, 714, 714}, {96, 466, 699, 699},    {96, 7, 11, 11},      {96, 8, 12, 12},
            {96, 14, 21, 21},    {144, 476, 1071, 1071}, {120, 466, 874, 874}, {0, 4, 6, 6},
        };
        for (const auto& c : cases) {
            const CDialogUnits du(c.dpi, c.dpi);
            QCOMPARE(du.X(c.units), c.x);
            QCOMPARE(du.Y(c.units), c.y);
        }
        // Edges are converted one by one: touching rectangles stay touching.
        const CDialogUnits du;
        QCOMPARE(du.Rect(7, 7, 1, 1).right() + 1, du.Rect(8, 8, 1, 1).left());
        QCOMPARE(GrowToHeight(QRect(5, 100, 30, 12), 15), QRect(5, 99, 30, 15));
        QCOMPARE(GrowToHeight(QRect(5, 100, 30, 22), 15), QRect(5, 100, 30, 22));
    }

    void mainWindowKeepsTheTemplatesPixelSizeWithTheStatusLineInside() {
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);
        const CDialogUnits du = CDialogUnits::For(dlg);
        QCOMPARE(dlg.size(), du.Size(476, 466));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        if (dlg.logicalDpiY() == 96)
            QCOMPARE(dlg.size(), QSize(714, 699));
        QVERIFY(dlg.width() <= 720 && dlg.height() <= 700);

        const QRect status = dlg.StatusLine()->geometry();
        const QRect note = dlg.findChild<QGroupBox*>("adviceGroup")->geometry();
        QVERIFY2(note.contains(status), "the status line lies inside the note's frame");
        const auto* advice = dlg.findChild<QLabel*>("adviceLabel");
        QVERIFY(advice->x() + advice->fontMetrics().horizontalAdvance(advice->text()) <
                status.left());
        QVERIFY(status.width() >= 200);
    }

    void controlsKeepTheirTemplateWidthsAndGrowAboutTheirCentre() {
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);
        const CDialogUnits du = CDialogUnits::For(dlg);
        const TemplateRect controls[] = {
            {"loginButton", 355, 34, 46, 14},  {"uploadAllButton", 167, 428, 51, 14},
            {"portEdit", 239, 13, 98, 14},     {"addressLabel", 23, 18, 41, 8},
            {"passwordLabel", 204, 35, 25, 8}, {"adviceLabel", 36, 448, 420, 8},
            {"bankList", 14, 251, 449, 167},   {"reserveGroup", 7, 52, 462, 182},
        };
        for (const TemplateRect& item : controls) {
            const QRect expected = du.Rect(item.x, item.y, item.width, item.height);
            const QRect actual = dlg.findChild<QWidget*>(item.name)->geometry();
            QCOMPARE(actual.left(), expected.left());
            QCOMPARE(actual.width(), expected.width());
            QVERIFY2(actual.height() >= expected.height(), item.name);
            QVERIFY2(qAbs(actual.center().y() - expected.center().y()) <= 1, item.name);
        }
        // An 8-unit label is shorter than a line of our font: it grew.
        const auto* label = dlg.findChild<QLabel*>("addressLabel");
        QVERIFY(label->height() >= label->fontMetrics().height());
    }

    void everyTextFitsItsControl() {
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QStringList problems = TextsNotFitting(dlg);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        QVERIFY(dlg.findChildren<QLabel*>().size() >= 5);
        dlg.hide();
    }

    void aboutBoxFollowsTheSameRule() {
        CAboutDlg about;
        const CDialogUnits du = CDialogUnits::For(about);
        QCOMPARE(about.size(), du.Size(235, 55));
        const QRect ok = about.findChild<QPushButton*>("aboutOk")->geometry();
        QCOMPARE(ok.width(), du.Rect(178, 7, 50, 14).width());
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        const QStringList problems = TextsNotFitting(about);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        about.hide();
    }
};

QTEST_MAIN(WindowGeometryTest)
#include "WindowGeometryTest.moc"
