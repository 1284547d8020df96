// The account lists' model and view: the report-list interface as the core
// uses it, batched notices to the views, exact cells, the columns, copying.

#include "ui/CellStore.h"
#include "ui/ReportListView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

namespace {

std::vector<ReportColumn> BankColumns() {
    return {{"序号", 60}, {"结果代码", 0}, {"结果说明", 100}, {"银行代码", 100}};
}

} // namespace

class ReportListModelTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

    void cellStoreKeepsTextsExactlyAndCompactsRewrites() {
        CCellStore store(3);
        const std::string withNul("a\0b", 3);
        const std::string longText(100000, 'x');
        store.InsertRow(0);
        store.InsertRow(1);
        store.InsertRow(0); // before the others
        store.Set(1, 2, withNul);
        store.Set(2, 1, longText);
        QCOMPARE(store.Rows(), 3);
        QVERIFY(store.Get(1, 2) == withNul);
        QVERIFY(store.Get(2, 1) == longText);
        QVERIFY(store.Get(0, 0).empty());
        for (int i = 0; i < 2000; ++i)
            store.Set(2, 1, longText.substr(0, 1000 + static_cast<std::size_t>(i % 7)));
        QVERIFY(store.Get(2, 1) == longText.substr(0, 1000 + 1999 % 7));
        QVERIFY(store.TextBytes() < 200000); // old texts do not pile up
        store.Clear();
        QCOMPARE(store.Rows(), 0);
    }

    void rowsReachTheViewsInOneBatchFromTheEventLoop() {
        CReportListModel model(BankColumns());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        for (int i = 0; i < 1000; ++i) {
            QCOMPARE(model.InsertItem(model.GetItemCount(), std::to_string(i + 1)), i);
            model.SetItemText(i, 3, "0102");
        }
        QCOMPARE(model.GetItemCount(), 1000); // the core sees its rows at once
        QCOMPARE(model.rowCount(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(model.rowCount(), 1000);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(model.index(999, 0).data().toString(), QStringLiteral("1000"));

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.SetItemText(10, 1, "0000");
        model.SetItemText(20, 2, "成功");
        QCOMPARE(changed.count(), 0);
        // Notices follow each other at most about sixty times a second.
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 30000);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 10);
        QCOMPARE(changed.first().at(1).toModelIndex().row(), 20);
        QCOMPARE(model.index(20, 2).data().toString(), QStringLiteral("成功"));
    }

    void insertingBetweenRowsAndOutOfRangeWrites() {
        CReportListModel model(BankColumns());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.InsertItem(0, "a");
        model.InsertItem(1, "c");
        QCOMPARE(model.InsertItem(1, "b"), 1);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.InsertItem(99, "d"), 3); // past the end appends
        QCOMPARE(model.InsertItem(-5, "e"), 4);
        model.SetItemText(7, 1, "x"); // no such row
        model.SetItemText(0, 4, "x"); // no such column
        model.SetItemText(-1, -1, "x");
        QCoreApplication::processEvents();
        QCOMPARE(model.CellText(1, 0), std::string("b"));
        QCOMPARE(model.CellText(2, 0), std::string("c"));
        QCOMPARE(model.CellText(0, 1), std::string());
        QCOMPARE(model.CellText(99, 0), std::string());

        model.DeleteAllItems();
        QCOMPARE(model.GetItemCount(), 0);
        QCOMPARE(model.rowCount(), 0);
        model.InsertItem(0, "1");
        QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 1, 30000);
    }

    void awkwardTextsAreShownSafelyAndKeptExactly() {
        CReportListModel model(BankColumns());
        model.InsertItem(0, "1");
        const std::string bad = std::string("ab\xff\xfe", 4);
        const std::string controls = "a\tb\nc\x1b%s%d";
        model.SetItemText(0, 1, bad);
        model.SetItemText(0, 2, controls);
        model.SetItemText(0, 3, std::string(5000, 'Z'));
        QCoreApplication::processEvents();
        QCOMPARE(model.CellText(0, 1), bad);
        QCOMPARE(model.CellText(0, 2), controls);
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("ab\uFFFD\uFFFD"));
        QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("a\u2409b\u240Ac\u241B%s%d"));
        QCOMPARE(model.index(0, 3).data().toString().size(), 5000);
        QCOMPARE(model.index(0, 3).data(Qt::ToolTipRole).toString().size(), 5000);
    }

    void viewHasTheColumnsWidthsAndAZeroWidthColumnTheOperatorCanWiden() {
        CReportListView view;
        view.SetColumns(BankColumns());
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QHeaderView* header = view.horizontalHeader();
        QCOMPARE(view.model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("结果代码"));
        QCOMPARE(header->sectionSize(0), 60);
        QCOMPARE(header->sectionSize(1), 0);
        QCOMPARE(header->sectionSize(2), 100);
        QVERIFY(!header->isSectionHidden(1));
        QVERIFY(view.showGrid());
        QCOMPARE(view.selectionBehavior(), QAbstractItemView::SelectRows);

        // Drag the boundary at the end of column 0: column 1 opens up.
        const int edge = header->sectionViewportPosition(2);
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(edge + 40, 5),
                         header->viewport()->mapToGlobal(QPointF(edge + 40, 5)), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &move);
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge + 40, 5));
        QVERIFY(header->sectionSize(1) > 30);
        QCOMPARE(header->sectionSize(0), 60);
    }

    void changesReachTheViewsAtMostSixtyTimesASecond() {
        CReportListModel model(BankColumns());
        for (int i = 0; i < 200; ++i)
            model.InsertItem(i, std::to_string(i + 1));
        model.Publish();
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QElapsedTimer took;
        took.start();
        // A row after every record, the events pumped in between.
        for (int i = 0; i < 200; ++i) {
            model.SetItemText(i, 2, "成功");
            QCoreApplication::processEvents();
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            !changed.isEmpty() && changed.last().at(1).toModelIndex().row() == 199, 30000);
        QVERIFY2(
            changed.count() <= took.elapsed() / 16 + 2,
            qPrintable(
                QStringLiteral("%1 notices in %2 ms").arg(changed.count()).arg(took.elapsed())));
        int covered = 0; // every row was told, once
        for (const QList<QVariant>& notice : changed) {
            QCOMPARE(notice.at(0).toModelIndex().row(), covered);
            covered = notice.at(1).toModelIndex().row() + 1;
        }
        QCOMPARE(covered, 200);
    }

    void aCutCellShowsItsTextAsToolTipAndAnEdgeDoubleClickFitsTheColumn() {
        CReportListView view;
        view.SetColumns(BankColumns());
        const std::string longName = "中国工商银行股份有限公司上海市分行营业部";
        view.Model().InsertItem(0, "1");
        view.Model().SetItemText(0, 2, longName);
        view.Model().SetItemText(0, 3, "0102");
        view.resize(500, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_COMPARE(view.model()->rowCount(), 1);
        QVERIFY(view.IsCellCut(view.model()->index(0, 2)));
        QVERIFY(!view.IsCellCut(view.model()->index(0, 3)));
        QVERIFY(!view.IsCellCut(view.model()->index(0, 1))); // empty

        const QPoint inCut = view.visualRect(view.model()->index(0, 2)).center();
        QHelpEvent help(QEvent::ToolTip, inCut, view.viewport()->mapToGlobal(inCut));
        QApplication::sendEvent(view.viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), QString::fromStdString(longName));
        QToolTip::hideText();

        // A double-click on the right edge of the cut column fits it.
        QHeaderView* header = view.horizontalHeader();
        const int edge = header->sectionViewportPosition(3) - 1;
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(edge, 5));
        QVERIFY(header->sectionSize(2) > 100);
        QVERIFY(!view.IsCellCut(view.model()->index(0, 2)));
        QCOMPARE(header->sectionSize(0), 60);
    }

    void selectedRowsCopyAsTabSeparatedText() {
        CReportListView view;
        view.SetColumns(BankColumns());
        CReportListModel& model = view.Model();
        for (int i = 0; i < 3; ++i)
            model.InsertItem(i, std::to_string(i + 1));
        model.SetItemText(0, 2, "成功");
        model.SetItemText(2, 1, "9715");
        model.SetItemText(2, 2, "tab\there");
        model.SetItemText(2, 3, "0102");
        model.Publish();
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.selectionModel()->select(model.index(2, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        view.selectionModel()->select(model.index(0, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString expected = QStringLiteral("1\t\t成功\t\n3\t9715\ttab here\t0102\n");
        QCOMPARE(view.SelectedRowsText(), expected);

        QApplication::clipboard()->clear();
        view.setFocus();
        QTest::keySequence(&view, QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(), expected);
    }
};

QTEST_MAIN(ReportListModelTest)
#include "ReportListModelTest.moc"
