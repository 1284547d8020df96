#include "WindowTestSupport.h"

#include "support/Common.h"
#include "support/Text.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>

namespace {

// One fixed-width GBK field, padded with blanks.
std::string Field(const std::string& utf8, std::size_t width) {
    std::string gbk = text::Utf8ToGbk(utf8);
    gbk.resize(width, ' ');
    return gbk;
}

void WriteFile(const QString& path, const std::string& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

} // namespace

AccountWorkDir::AccountWorkDir() {
    QDir(m_dir.path()).mkpath(QStringLiteral("localconfig"));
    CCommon::SetWorkPath(m_dir.path().toStdString());
}

AccountWorkDir::~AccountWorkDir() {
    CCommon::SetWorkPath("");
}

void AccountWorkDir::WriteBank(const std::vector<BankFileRecord>& records) {
    std::string bytes;
    for (const BankFileRecord& r : records)
        bytes += Field(r.code, 4) + Field(r.accountNo, 28) + Field(r.fullName, 30) +
                 Field(r.bankName, 30) + std::string(30, ' ');
    WriteBankBytes(bytes);
}

void AccountWorkDir::WriteReserveA(const std::vector<ReserveFileRecord>& records) {
    std::string bytes;
    for (const ReserveFileRecord& r : records)
        bytes += Field(r.accountNo, 18) + Field(r.name, 30);
    WriteFile(m_dir.filePath(QStringLiteral("localconfig/agbfj.dat")), bytes);
}

void AccountWorkDir::WriteBankBytes(const std::string& bytes) {
    WriteFile(m_dir.filePath(QStringLiteral("localconfig/yhzh.dat")), bytes);
}

QPushButton* Button(const QWidget& window, const char* name) {
    return window.findChild<QPushButton*>(QString::fromLatin1(name));
}

void Click(QWidget& window, const char* name) {
    QTest::mouseClick(Button(window, name), Qt::LeftButton);
}

void Type(QWidget& window, const char* name, const QString& text) {
    window.findChild<QLineEdit*>(QString::fromLatin1(name))->setText(text);
}

int VisibleTopLevelWidgets() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible())
            ++count;
    return count;
}
