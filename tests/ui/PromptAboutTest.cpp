// The Qt prompt: a modal warning box captioned "提示" with one button "确定",
// the text shown as plain text exactly as given. And the about box alone.

#include "ui/AboutDlg.h"
#include "ui/QtPrompt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

class PromptAboutTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

    void boxIsAWarningCaptionedWithOneChineseOkButton() {
        std::unique_ptr<QMessageBox> box(CQtPrompt::CreateBox("登录成功!", nullptr));
        QCOMPARE(box->windowTitle(), QStringLiteral("提示"));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->buttons().first()->text(), QStringLiteral("确定"));
        QCOMPARE(box->text(), QStringLiteral("登录成功!"));
    }

    void awkwardTextsAreShownAsPlainText() {
        const std::string text = std::string("<b>100%</b> %s %d\n第二行\x01\xff", 29);
        std::unique_ptr<QMessageBox> box(CQtPrompt::CreateBox(text, nullptr));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->text(), QStringLiteral("<b>100%</b> %s %d\n第二行\u2401\uFFFD"));
        const std::string longText(20000, 'x');
        std::unique_ptr<QMessageBox> longBox(CQtPrompt::CreateBox(longText, nullptr));
        QCOMPARE(longBox->text().size(), 20000);
    }

    void showMessageWaitsForTheOperator() {
        bool closed = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            QCOMPARE(box->text(), QStringLiteral("上传数据成功!"));
            closed = true;
            box->buttons().first()->click();
        });
        CQtPrompt().ShowMessage("上传数据成功!");
        QVERIFY(closed);
    }

    void aboutBoxHasItsTexts() {
        CAboutDlg about;
        QCOMPARE(about.windowTitle(), QStringLiteral("关于 Quillmark"));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QTimer::singleShot(0, &about, [&] { QTest::keyClick(&about, Qt::Key_Return); });
        QCOMPARE(about.exec(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(PromptAboutTest)
#include "PromptAboutTest.moc"
