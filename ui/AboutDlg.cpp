#include "ui/AboutDlg.h"

#include "quillmark/Version.h"
#include "ui/AppIcon.h"
#include "ui/AppTitle.h"
#include "ui/DialogUnits.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(QStringLiteral("关于 Quillmark"));
    setFont(DialogFont());
    const CDialogUnits du = CDialogUnits::For(*this);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setGeometry(du.X(11), du.Y(17), 32, 32);

    // "Quillmark 1.0 版": the version's major and minor from the build.
    auto* product = new QLabel(
        QStringLiteral("Quillmark %1 版").arg(QLatin1String(quillmark::kShortVersion)), this);
    product->setObjectName(QStringLiteral("aboutProduct"));
    PlaceControl(*product, du, 40, 10, 119, 8);

    auto* line = new QLabel(QStringLiteral("A股备付金、银行账户上传工具"), this);
    line->setObjectName(QStringLiteral("aboutLine"));
    PlaceControl(*line, du, 40, 25, 119, 8);

    auto* ok = new QPushButton(app_title::OkButtonText(), this);
    ok->setObjectName(QStringLiteral("aboutOk"));
    PlaceControl(*ok, du, 178, 7, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(du.Size(235, 55));
}
