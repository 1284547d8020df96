// The main window's controls: one table in their tab order, with positions
// in dialog units.

#include "ui/ReserveUploadDlg.h"

#include "ui/DialogUnits.h"
#include "ui/ReportListView.h"
#include "ui/StatusLine.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace {

enum class Kind { Button, DefaultButton, Edit, PasswordEdit, Label, List, Group };

struct ControlTemplate {
    int id; // 0: a control no code refers to
    Kind kind;
    const char* caption;
    int x, y, width, height;
    const char* name;
};

constexpr ControlTemplate kControls[] = {
    {1001, Kind::DefaultButton, "登 录", 355, 34, 46, 14, "loginButton"},
    {1002, Kind::Button, "全部上传", 167, 428, 51, 14, "uploadAllButton"},
    {1000, Kind::Edit, "", 239, 13, 98, 14, "portEdit"},
    {1003, Kind::Edit, "", 74, 33, 108, 14, "operatorEdit"},
    {1006, Kind::Label, "网关地址：", 23, 18, 41, 8, "addressLabel"},
    {1007, Kind::Label, "端口：", 204, 16, 25, 8, "portLabel"},
    {1008, Kind::Label, "操作员：", 32, 37, 33, 8, "operatorLabel"},
    {1009, Kind::Label, "密码：", 204, 35, 25, 8, "passwordLabel"},
    {1005, Kind::PasswordEdit, "", 239, 33, 98, 14, "passwordEdit"},
    {1010, Kind::List, "", 14, 251, 449, 167, "bankList"},
    {0, Kind::Group, "银行账户", 7, 238, 462, 185, "bankGroup"},
    {1011, Kind::List, "", 13, 65, 449, 164, "reserveList"},
    {0, Kind::Group, "A股备付金账户", 7, 52, 462, 182, "reserveGroup"},
    {0, Kind::Group, "", 7, 7, 462, 44, "loginGroup"},
    {1004, Kind::Edit, "", 73, 14, 108, 14, "addressEdit"},
    {1013, Kind::DefaultButton, "加 载", 413, 34, 46, 14, "loadButton"},
    {1012, Kind::Button, "逐笔上传", 249, 428, 51, 14, "uploadEachButton"},
    {0, Kind::Group, "注意", 7, 441, 462, 17, "adviceGroup"},
    {0, Kind::Label, "建议优先使用[全部上传],若[全部上传]失败则使用[逐笔上传]。", 36, 448, 420, 8,
     "adviceLabel"},
};

constexpr int kWindowWidth = 476;
constexpr int kWindowHeight = 466;

QWidget* CreateControl(const ControlTemplate& item, QWidget* parent) {
    const QString caption = QString::fromUtf8(item.caption);
    switch (item.kind) {
    case Kind::Button:
    case Kind::DefaultButton: {
        auto* button = new QPushButton(caption, parent);
        // Only the two default-style buttons take the Enter key when focused.
        button->setAutoDefault(item.kind == Kind::DefaultButton);
        return button;
    }
    case Kind::Edit:
    case Kind::PasswordEdit: {
        auto* edit = new QLineEdit(parent);
        if (item.kind == Kind::PasswordEdit)
            edit->setEchoMode(QLineEdit::Password);
        return edit;
    }
    case Kind::Label:
        return new QLabel(caption, parent);
    case Kind::List:
        return new CReportListView(parent);
    case Kind::Group:
        return new QGroupBox(caption, parent);
    }
    return nullptr;
}

} // namespace

void CReserveUploadDlg::CreateControls() {
    const CDialogUnits du = CDialogUnits::For(*this);
    QWidget* previousTabStop = nullptr;
    std::vector<QGroupBox*> groups;
    for (const ControlTemplate& item : kControls) {
        QWidget* control = CreateControl(item, this);
        control->setObjectName(QString::fromLatin1(item.name));
        if (item.id != 0)
            control->setProperty("controlId", item.id);
        PlaceControl(*control, du, item.x, item.y, item.width, item.height);
        if (auto* group = qobject_cast<QGroupBox*>(control)) {
            group->setFocusPolicy(Qt::NoFocus);
            groups.push_back(group);
        } else if (item.kind != Kind::Label) {
            control->setFocusPolicy(Qt::StrongFocus);
            if (previousTabStop != nullptr)
                setTabOrder(previousTabStop, control);
            previousTabStop = control;
        }
    }
    // Group boxes only frame the controls inside them: keep them underneath so
    // that clicks reach the lists and fields. The title sits on the frame's top
    // line, half a text line below the box's top, where the layout expects it.
    const QString groupStyle =
        QStringLiteral(
            "QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
            " margin-top: %1px; }"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
            " left: %2px; padding: 0 2px; }")
            .arg(fontMetrics().height() / 2)
            .arg(du.X(4));
    for (QGroupBox* group : groups) {
        group->setStyleSheet(groupStyle);
        group->lower();
    }
    m_editPort = findChild<QLineEdit*>(QStringLiteral("portEdit"));
    m_editOperator = findChild<QLineEdit*>(QStringLiteral("operatorEdit"));
    m_editPassword = findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
    m_editGatewayAddress = findChild<QLineEdit*>(QStringLiteral("addressEdit"));
    m_btnLogin = findChild<QPushButton*>(QStringLiteral("loginButton"));
    m_btnLoad = findChild<QPushButton*>(QStringLiteral("loadButton"));
    m_btnUploadAll = findChild<QPushButton*>(QStringLiteral("uploadAllButton"));
    m_btnUploadEach = findChild<QPushButton*>(QStringLiteral("uploadEachButton"));
    m_listBank = findChild<CReportListView*>(QStringLiteral("bankList"));
    m_listReserve = findChild<CReportListView*>(QStringLiteral("reserveList"));
    m_btnLogin->setDefault(true);

    // The status line shares the advice's row inside the "注意" frame, right
    // of the advice text, so the window keeps the template's size.
    const QLabel* advice = findChild<QLabel*>(QStringLiteral("adviceLabel"));
    const QWidget* adviceGroup = findChild<QGroupBox*>(QStringLiteral("adviceGroup"));
    const int statusLeft =
        advice->x() + advice->fontMetrics().horizontalAdvance(advice->text()) + du.X(6);
    const int statusRight = adviceGroup->geometry().right() - du.X(4);
    m_statusLine = new CStatusLine(this);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setGeometry(statusLeft, advice->y(), statusRight - statusLeft + 1,
                              advice->height());
    setFixedSize(du.Size(kWindowWidth, kWindowHeight));
    RememberTemplateGeometry();

    connect(m_btnLogin, &QPushButton::clicked, this, &CReserveUploadDlg::OnLogin);
    connect(m_btnLoad, &QPushButton::clicked, this, &CReserveUploadDlg::OnLoad);
    connect(m_btnUploadAll, &QPushButton::clicked, this, &CReserveUploadDlg::OnUploadAll);
    connect(m_btnUploadEach, &QPushButton::clicked, this, &CReserveUploadDlg::OnUploadEach);
}

void CReserveUploadDlg::RememberTemplateGeometry() {
    m_templateGeometry.clear();
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        m_templateGeometry.emplace_back(child, child->geometry());
    m_templateSize = size();
    m_fitCut = ScreenFitCut{{0, 0}, 0};
    m_listReserve->setProperty("templateRect", m_listReserve->geometry());
    m_listBank->setProperty("templateRect", m_listBank->geometry());
}

void CReserveUploadDlg::PlaceForCut(const ScreenFitCut& cut) {
    // Each list's cut moves up everything below its bottom edge; the width's
    // cut is spread over the lists' span, so controls keep their order there.
    const QRect reserve = m_listReserve->property("templateRect").toRect();
    const QRect bank = m_listBank->property("templateRect").toRect();
    const int reserveBottom = reserve.y() + reserve.height();
    const int bankBottom = bank.y() + bank.height();
    const int spanLeft = reserve.x();
    const int spanRight = reserve.x() + reserve.width();
    const auto mapY = [&](int y) {
        return y - (y >= reserveBottom ? cut.heights[0] : 0) -
               (y >= bankBottom ? cut.heights[1] : 0);
    };
    const auto mapX = [&](int x) {
        const int into = std::clamp(x - spanLeft, 0, spanRight - spanLeft);
        return x - cut.width * into / (spanRight - spanLeft);
    };
    for (const auto& [widget, rect] : m_templateGeometry) {
        const int left = mapX(rect.x());
        const int top = mapY(rect.y());
        widget->setGeometry(left, top, mapX(rect.x() + rect.width()) - left,
                            mapY(rect.y() + rect.height()) - top);
    }
    setFixedSize(m_templateSize.width() - cut.width,
                 m_templateSize.height() - cut.heights[0] - cut.heights[1]);
    m_fitCut = cut;
}

void CReserveUploadDlg::FitToScreen() {
    QScreen* screen = this->screen();
    if (screen == nullptr || m_bFitting || m_templateGeometry.empty())
        return;
    m_bFitting = true;
    const QRect available = screen->availableGeometry();
    const QMargins frame = ExpectedFrameMargins(*this);
    // A list keeps its header and a few rows.
    const int minListHeight = fontMetrics().height() * 6;
    const QRect reserve = m_listReserve->property("templateRect").toRect();
    const QRect bank = m_listBank->property("templateRect").toRect();
    const ScreenFitCut cut =
        PlanScreenFit(m_templateSize, frame, available, {reserve.height(), bank.height()},
                      minListHeight, reserve.width(), reserve.width() / 2);
    if (!(cut == m_fitCut))
        PlaceForCut(cut);
    if (isVisible() && !(windowHandle() != nullptr && windowHandle()->frameMargins().isNull())) {
        // Where the window manager placed it, or a smaller screen, may leave it
        // partly off the area: move it in.
        const QRect outer = frameGeometry();
        const QRect inside = KeptInside(outer, available);
        if (inside.topLeft() != outer.topLeft())
            move(inside.topLeft());
    }
    m_bFitting = false;
}
