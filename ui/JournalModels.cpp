#include "ui/JournalModels.h"

#include "accounts/ListColumns.h"

#include <QBrush>
#include <QColor>

#include <algorithm>
#include <climits>

namespace {

QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "2026-12-07T14:03:05.120+08:00" as "2026-12-07 14:03:05".
QString ShortTime(const std::string& iso) {
    std::string text = iso.substr(0, std::min<std::size_t>(iso.size(), 19));
    if (text.size() > 10 && text[10] == 'T')
        text[10] = ' ';
    return Q(text);
}

QString FirstLine(const std::string& text) {
    return Q(text.substr(0, text.find('\n')));
}

QString OutcomeText(int outcome) {
    switch (outcome) {
    case 1:
        return QStringLiteral("完成");
    case -1:
        return QStringLiteral("失败");
    case -2:
        return QStringLiteral("有重复记录");
    case -3:
        return QStringLiteral("返回9715");
    default:
        return QString::number(outcome);
    }
}

const std::vector<const char*> kRunTitles = {"开始时间", "操作员", "网关", "方式",     "发送",
                                             "成功",     "已存在", "失败", "提示信息", "来源"};

// Where a run came from: the window, the terminal or the daily schedule.
QString OriginText(const std::string& origin) {
    if (origin == "window")
        return QStringLiteral("窗口");
    if (origin == "terminal")
        return QStringLiteral("终端");
    if (origin == "scheduled")
        return QStringLiteral("定时");
    return QString::fromStdString(origin);
}
const std::vector<const char*> kRequestTitles = {"序号", "流水号",   "发送时间", "记录数",
                                                 "结果", "返回代码", "返回信息"};
const std::vector<const char*> kResultTitles = {"序号",     "类别",     "账户号码", "账户名称",
                                                "银行代码", "银行名称", "结果代码", "结果说明"};

const QColor kFailedColor(0xB0, 0x00, 0x20);
// An account that was already there is no failure of the upload.
const QColor kHeldColor(0x80, 0x60, 0x00);
// A result a later request of the same run replaced.
const QColor kSupersededColor(0x80, 0x80, 0x80);

QVariant ResultColor(const journal::Result& r) {
    if (!r.final)
        return QBrush(kSupersededColor);
    switch (r.outcome) {
    case journal::Outcome::Stored:
        return {};
    case journal::Outcome::Held:
        return QBrush(kHeldColor);
    default:
        return QBrush(kFailedColor);
    }
}

} // namespace

CTitledTableModel::CTitledTableModel(std::vector<const char*> titles, QObject* parent)
    : QAbstractTableModel(parent), m_titles(std::move(titles)) {}

int CTitledTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_titles.size());
}

QVariant CTitledTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= static_cast<int>(m_titles.size()))
        return {};
    return QString::fromUtf8(m_titles[static_cast<std::size_t>(section)]);
}

// ---- runs

CRunListModel::CRunListModel(QObject* parent) : CRowListModel(kRunTitles, parent) {}

QVariant CRunListModel::RowData(const journal::RunInfo& run, int column, int role) const {
    if (role == Qt::ForegroundRole)
        return run.Finished() ? QVariant() : QVariant(QBrush(kFailedColor));
    if (role == Qt::ToolTipRole && column == 8)
        return Q(run.message);
    if (role != Qt::DisplayRole)
        return {};
    switch (column) {
    case 0:
        return ShortTime(run.started);
    case 1:
        return Q(run.operatorName);
    case 2:
        return Q(run.gatewayAddress) + u':' + QString::number(run.gatewayPort);
    case 3:
        return Q(run.mode);
    case 4:
        return QString::number(run.reserve.sent + run.bank.sent);
    case 5:
        return QString::number(run.reserve.stored + run.bank.stored);
    case 6:
        return QString::number(run.reserve.held + run.bank.held);
    case 7:
        return QString::number(run.reserve.failed + run.bank.failed);
    case 8:
        // A run the program did not see to its end says so first, and so
        // does one the operator stopped.
        if (!run.Finished())
            return QStringLiteral("（未完成）") + FirstLine(run.message);
        if (run.ending == journal::Ending::Stopped)
            return QStringLiteral("（已中止）") + FirstLine(run.message);
        return FirstLine(run.message);
    case 9:
        return OriginText(run.origin);
    default:
        return {};
    }
}

// ---- requests

CRequestListModel::CRequestListModel(QObject* parent) : CRowListModel(kRequestTitles, parent) {}

QVariant CRequestListModel::RowData(const journal::Request& r, int column, int role) const {
    if (role == Qt::ForegroundRole)
        return r.outcome == 1 ? QVariant() : QVariant(QBrush(kFailedColor));
    if (role != Qt::DisplayRole)
        return {};
    switch (column) {
    case 0:
        return QString::number(r.seq);
    case 1:
        return Q(r.serialNo);
    case 2:
        return ShortTime(r.sent);
    case 3:
        return QString::number(r.records);
    case 4:
        return OutcomeText(r.outcome);
    case 5:
        return Q(r.returnCode);
    case 6:
        // A request that failed here says what the operator was told.
        return Q(r.failure.empty() ? r.returnMessage : r.failure);
    default:
        return {};
    }
}

// ---- results

CResultPager::CResultPager(journal::JournalReader& reader, std::int64_t runId,
                           journal::ResultFilter filter, std::int64_t pageSize,
                           std::size_t pagesKept)
    : m_reader(reader), m_runId(runId), m_filter(std::move(filter)),
      m_pageSize(std::max<std::int64_t>(pageSize, 1)),
      m_pagesKept(std::max<std::size_t>(pagesKept, 1)),
      m_count(reader.CountResults(runId, m_filter)) {}

const journal::Result* CResultPager::At(std::int64_t row) {
    if (row < 0 || row >= m_count)
        return nullptr;
    const std::int64_t page = row / m_pageSize;
    auto it = m_pages.find(page);
    if (it == m_pages.end()) {
        if (m_pages.size() >= m_pagesKept) {
            m_pages.erase(m_recent.back());
            m_recent.pop_back();
        }
        it = m_pages
                 .emplace(page, m_reader.Results(m_runId, m_filter, page * m_pageSize, m_pageSize))
                 .first;
    } else {
        m_recent.remove(page);
    }
    m_recent.push_front(page);
    const auto index = static_cast<std::size_t>(row - page * m_pageSize);
    return index < it->second.size() ? &it->second[index] : nullptr;
}

std::vector<std::string> ResultColumnTitles() {
    return {kResultTitles.begin(), kResultTitles.end()};
}

std::string ResultCell(const journal::Result& r, int column) {
    switch (column) {
    case 0:
        return std::to_string(r.row);
    case 1:
        return r.kind == journal::Kind::Bank ? kBankListKind : kReserveListKind;
    case 2:
        return r.accountNo;
    case 3:
        return r.accountName;
    case 4:
        return r.bankCode;
    case 5:
        return r.bankName;
    case 6:
        return r.code;
    case 7:
        return r.text;
    default:
        return {};
    }
}

CResultListModel::CResultListModel(QObject* parent) : CTitledTableModel(kResultTitles, parent) {}

void CResultListModel::SetRun(journal::JournalReader* reader, std::optional<std::int64_t> runId,
                              journal::ResultFilter filter) {
    beginResetModel();
    m_pager.reset();
    // A few screens either side of the one shown, read 256 rows at a time.
    if (reader != nullptr && runId)
        m_pager.emplace(*reader, *runId, std::move(filter), 256, 16);
    endResetModel();
}

std::int64_t CResultListModel::Count() const {
    return m_pager ? m_pager->Count() : 0;
}

int CResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::int64_t>(Count(), INT_MAX));
}

QVariant CResultListModel::data(const QModelIndex& index, int role) const {
    if (!m_pager || (role != Qt::DisplayRole && role != Qt::ForegroundRole))
        return {};
    const journal::Result* r = m_pager->At(index.row());
    if (r == nullptr)
        return {};
    if (role == Qt::ForegroundRole)
        return ResultColor(*r);
    return Q(ResultCell(*r, index.column()));
}
