#include "ui/HistoryDlg.h"

#include "export/TableExport.h"
#include "ui/ExportFolder.h"
#include "ui/FileDialog.h"
#include "ui/JournalModels.h"
#include "ui/ScreenFit.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace {

// A column at least as wide as its title, or as `widest`, the longest text the
// column holds, where one is known.
int ColumnWidth(const QHeaderView& header, const QString& title, int width,
                const QString& widest = {}) {
    const int margin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
    const QFontMetrics metrics = header.fontMetrics();
    const int needed = std::max(metrics.horizontalAdvance(title),
                                widest.isEmpty() ? 0 : metrics.horizontalAdvance(widest));
    return std::max(width, needed + 4 * margin);
}

QTableView* MakeView(QAbstractItemModel* model, const QList<int>& widths, QWidget* parent,
                     const QMap<int, QString>& widest = {}) {
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->setCornerButtonEnabled(false);
    // Rows of one height, never measured: a million of them lay out at once.
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    QHeaderView* header = view->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    for (int i = 0; i < widths.size(); ++i)
        header->resizeSection(i,
                              ColumnWidth(*header, model->headerData(i, Qt::Horizontal).toString(),
                                          widths[i], widest.value(i)));
    return view;
}

// A file's size as an operator reads it: KB, or MB or GB with one decimal.
QString SizeText(std::int64_t bytes) {
    const double value = static_cast<double>(bytes);
    if (value < 1024.0 * 1024.0)
        return QStringLiteral("%1 KB").arg(static_cast<qint64>((bytes + 1023) / 1024));
    if (value < 1024.0 * 1024.0 * 1024.0)
        return QStringLiteral("%1 MB").arg(value / (1024.0 * 1024.0), 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(value / (1024.0 * 1024.0 * 1024.0), 0, 'f', 1);
}

} // namespace

CHistoryDlg::CHistoryDlg(std::unique_ptr<journal::JournalReader> reader, MessageSink showMessage,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      m_reader(std::move(reader)), m_showMessage(std::move(showMessage)),
      m_runs(new CRunListModel(this)), m_results(new CResultListModel(this)),
      m_requests(new CRequestListModel(this)) {
    setObjectName(QStringLiteral("historyDlg"));
    setWindowTitle(QStringLiteral("上传记录"));
    resize(900, 640);

    m_runsView = MakeView(m_runs, {140, 80, 130, 70, 60, 60, 60, 60}, this,
                          {{3, QStringLiteral("只上传新增账户")}});
    m_runsView->setObjectName(QStringLiteral("runsView"));
    m_resultsView = MakeView(m_results, {60, 100, 200, 180, 60, 160, 60}, this);
    m_resultsView->setObjectName(QStringLiteral("resultsView"));
    m_requestsView = MakeView(m_requests, {60, 140, 140, 60, 80, 60}, this);
    m_requestsView->setObjectName(QStringLiteral("requestsView"));

    m_failedOnly = new QCheckBox(QStringLiteral("只显示失败记录"), this);
    m_failedOnly->setObjectName(QStringLiteral("failedOnlyCheck"));
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("searchEdit"));
    m_search->setPlaceholderText(QStringLiteral("查找账户号码或名称"));
    m_search->setClearButtonEnabled(true);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("countLabel"));
    m_export = new QPushButton(QStringLiteral("导出结果..."), this);
    m_export->setObjectName(QStringLiteral("exportButton"));
    m_export->setAutoDefault(false);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(m_failedOnly);
    filterRow->addWidget(m_search, 1);
    filterRow->addWidget(m_count);
    filterRow->addWidget(m_export);

    m_tabs = new QTabWidget(this);
    m_tabs->addTab(m_resultsView, QStringLiteral("结果"));
    m_tabs->addTab(m_requestsView, QStringLiteral("请求"));

    auto* lower = new QWidget(this);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addLayout(filterRow);
    lowerLayout->addWidget(m_tabs, 1);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_runsView);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("closeButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // What the file holds, for the operator who decides when to prune it.
    const journal::JournalStats stats = m_reader->Stats();
    m_fileFacts = new QLabel(
        QStringLiteral("记录文件 %1,共 %2 次上传").arg(SizeText(stats.fileBytes)).arg(stats.runs),
        this);
    m_fileFacts->setObjectName(QStringLiteral("fileFactsLabel"));
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(m_fileFacts, 1);
    bottomRow->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(bottomRow);

    // The search runs once typing pauses, not at every key.
    m_searchDelay = new QTimer(this);
    m_searchDelay->setSingleShot(true);
    m_searchDelay->setInterval(300);
    connect(m_searchDelay, &QTimer::timeout, this, &CHistoryDlg::ApplyFilter);
    connect(m_search, &QLineEdit::textEdited, m_searchDelay, qOverload<>(&QTimer::start));
    connect(m_search, &QLineEdit::returnPressed, this, &CHistoryDlg::ApplyFilter);
    connect(m_failedOnly, &QCheckBox::toggled, this, &CHistoryDlg::ApplyFilter);
    connect(m_export, &QPushButton::clicked, this, &CHistoryDlg::ExportRun);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CHistoryDlg::ShowRequestsIfVisible);

    m_runs->SetRows(m_reader->Runs());
    connect(m_runsView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                const journal::RunInfo* run = m_runs->RowAt(current.row());
                m_runId = run != nullptr ? std::optional(run->id) : std::nullopt;
                m_requestsLoaded = false;
                ApplyFilter();
                ShowRequestsIfVisible();
            });
    SelectRun(0);
    if (m_runs->rowCount() == 0)
        ApplyFilter();
}

CHistoryDlg::~CHistoryDlg() = default;

void CHistoryDlg::showEvent(QShowEvent* event) {
    FitToScreen();
    QDialog::showEvent(event);
}

void CHistoryDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    // The window manager's frame is known once it has placed the dialog.
    FitToScreen();
}

void CHistoryDlg::FitToScreen() {
    QScreen* screen = this->screen();
    if (screen == nullptr || m_fitting)
        return;
    m_fitting = true;
    // The size it opens at, less what the screen's available area lacks.
    const QRect available = screen->availableGeometry();
    const QMargins frame = ExpectedFrameMargins(*this);
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    const QSize fitted = size().boundedTo(room);
    if (fitted != size())
        resize(fitted);
    if (isVisible() && !(windowHandle() != nullptr && windowHandle()->frameMargins().isNull())) {
        const QRect outer = frameGeometry();
        const QRect inside = KeptInside(outer, available);
        if (inside.topLeft() != outer.topLeft())
            move(inside.topLeft());
    }
    m_fitting = false;
}

void CHistoryDlg::SelectRun(int row) {
    if (row >= 0 && row < m_runs->rowCount())
        m_runsView->selectRow(row);
}

journal::ResultFilter CHistoryDlg::CurrentFilter() const {
    journal::ResultFilter filter;
    filter.failedOnly = m_failedOnly->isChecked();
    filter.search = m_search->text().trimmed().toStdString();
    return filter;
}

void CHistoryDlg::ApplyFilter() {
    m_searchDelay->stop();
    m_results->SetRun(m_reader.get(), m_runId, CurrentFilter());
    m_count->setText(m_runId ? QStringLiteral("共 %1 条").arg(m_results->Count()) : QString());
    m_export->setEnabled(m_results->Count() > 0);
}

void CHistoryDlg::ShowRequestsIfVisible() {
    // Read only when the tab is looked at: a per-record run has a request per record.
    if (m_tabs->currentWidget() != m_requestsView || m_requestsLoaded)
        return;
    m_requests->SetRows(m_runId ? m_reader->Requests(*m_runId) : std::vector<journal::Request>());
    m_requestsLoaded = true;
}

void CHistoryDlg::ExportRun() {
    if (!m_runId)
        return;
    const std::string path =
        AskExportPath(this, SuggestedExportName(QStringLiteral("上传记录%1").arg(*m_runId),
                                                QDateTime::currentDateTime()));
    if (path.empty())
        return;

    // The worker reads the run through a reader of its own: the dialog's
    // reader goes on serving the lists meanwhile.
    std::string error;
    auto reader = journal::JournalReader::Open(m_reader->Path(), error);
    if (!reader) {
        if (m_showMessage)
            m_showMessage(error);
        return;
    }
    std::unique_ptr<CResultPager> pager;
    const std::int64_t runId = *m_runId;
    const journal::ResultFilter filter = CurrentFilter();
    const std::string failure = ExportShowingProgress(this, path, [&] {
        // What the list shows, read in large pages in send order.
        pager = std::make_unique<CResultPager>(*reader, runId, filter, 4096, 1);
        ExportTable table;
        table.kind = "上传记录" + std::to_string(runId);
        table.titles = ResultColumnTitles();
        table.rows = static_cast<std::size_t>(pager->Count());
        table.cell = [&pager](std::size_t row, std::size_t column) {
            const journal::Result* r = pager->At(static_cast<std::int64_t>(row));
            return r != nullptr ? ResultCell(*r, static_cast<int>(column)) : std::string();
        };
        return std::vector{table};
    });
    if (!failure.empty() && m_showMessage)
        m_showMessage(failure);
}
