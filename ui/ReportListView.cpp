#include "ui/ReportListView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QToolTip>

#include <algorithm>

namespace {
// A cell's own tabs and line breaks would shift the columns of a pasted table.
QString CopyCell(std::string_view cell) {
    QString text =
        QString::fromUtf8(QByteArrayView(cell.data(), static_cast<qsizetype>(cell.size())));
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}
} // namespace

CReportListView::CReportListView(QWidget* parent)
    : QTableView(parent), m_copyAction(new QAction(this)) {
    setModel(&m_model);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);

    // Rows of one text line, all the same height: the view never measures a
    // million rows to lay them out.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);

    // Columns keep the template's widths; a double-click on a column's edge
    // fits it to its contents (QTableView's own, measuring the rows in sight).
    QHeaderView* header = horizontalHeader();
    header->setMinimumSectionSize(0);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(false);

    m_copyAction->setText(QStringLiteral("复制(&C)"));
    m_copyAction->setShortcut(QKeySequence::Copy);
    m_copyAction->setShortcutContext(Qt::WidgetShortcut);
    connect(m_copyAction, &QAction::triggered, this, &CReportListView::CopySelection);
    addAction(m_copyAction);
}

void CReportListView::SetColumns(std::vector<ReportColumn> columns) {
    m_model.SetColumns(std::move(columns));
    QHeaderView* header = horizontalHeader();
    for (int i = 0; i < static_cast<int>(m_model.Columns().size()); ++i)
        header->resizeSection(i, m_model.Columns()[static_cast<std::size_t>(i)].width);
}

QString CReportListView::SelectedRowsText() const {
    if (selectionModel() == nullptr)
        return {};
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QString text;
    const int columns = m_model.columnCount();
    for (int row : rows) {
        for (int column = 0; column < columns; ++column) {
            if (column > 0)
                text += u'\t';
            text += CopyCell(m_model.CellText(row, column));
        }
        text += u'\n';
    }
    return text;
}

void CReportListView::CopySelection() const {
    const QString text = SelectedRowsText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void CReportListView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    m_copyAction->setEnabled(selectionModel() != nullptr && selectionModel()->hasSelection());
    // The list's own items (copy, and what the window adds to it) come first.
    menu.addActions(actions());
    // The window's own items (the about box) follow the list's.
    const QList<QAction*> windowActions = window()->actions();
    if (!windowActions.isEmpty()) {
        menu.addSeparator();
        menu.addActions(windowActions);
    }
    menu.exec(event->globalPos());
    m_copyAction->setEnabled(true);
}

bool CReportListView::IsCellCut(const QModelIndex& index) const {
    if (!index.isValid())
        return false;
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return false;
    // The item delegate leaves a focus-frame margin and one pixel on each side.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int shown = visualRect(index).width() - 2 * margin;
    return fontMetrics().horizontalAdvance(text) > shown;
}

bool CReportListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (IsCellCut(index))
            QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(),
                               viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    return QTableView::viewportEvent(event);
}
