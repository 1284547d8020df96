// quillmark: the window program. Start-up names the message boxes, makes sure
// that only one copy runs, runs the main window modally and ends with it.

#include "app/InstanceChannel.h"
#include "app/SingleInstance.h"
#include "app/StartupOptions.h"
#include "journal/JournalWriter.h"
#include "support/Common.h"
#include "support/net/NetworkCommunication.h"
#include "support/settings/Settings.h"
#include "ui/AppIcon.h"
#include "ui/AppTitle.h"
#include "ui/DialogUnits.h"
#include "ui/QtPrompt.h"
#include "ui/RecordActions.h"
#include "ui/ReserveUploadDlg.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

QStringList Arguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

void Print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// Qt's own texts (the fields' context menus and the like) read as on a
// Chinese system, whatever the locale.
void UseChineseTexts(QApplication& app, QTranslator& translator) {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    if (translator.load(QStringLiteral("qtbase_zh_CN"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
}

// Raises and activates the window. Under Wayland a program may not activate
// its own window without a token from the launcher, which a second copy
// started from a shell does not have: the window asks for attention there.
void BringForward(QWidget& window) {
    if (window.isMinimized())
        window.showNormal();
    window.raise();
    window.activateWindow();
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        QApplication::alert(&window);
}

} // namespace

int main(int argc, char** argv) {
    // --version and --help work without a display: answer them before Qt
    // opens one.
    const StartupOptions early = ParseStartupOptions(Arguments(argc, argv));
    if (early.showVersion) {
        Print(stdout, VersionText() + u'\n');
        return 0;
    }
    if (early.showHelp) {
        Print(stdout, HelpText());
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(app_title::ProductName());
    QApplication::setApplicationVersion(app_title::Version());
    // Ties the window to its installed desktop entry (icon and name on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quillmark.Quillmark"));
    QApplication::setWindowIcon(AppIcon());
    QApplication::setFont(DialogFont());
    QTranslator translator;
    UseChineseTexts(app, translator);

    const StartupOptions options = ParseStartupOptions(QApplication::arguments());
    if (!options.error.isEmpty()) {
        Print(stderr, options.error + QStringLiteral("\n\n") + HelpText());
        return 2;
    }
    // Every setting read once, here; --workdir goes before the setting.
    const settings::Settings configured = settings::Read();
    CCommon::SetWorkPath(options.workDir.isEmpty() ? configured.workDir
                                                   : options.workDir.toStdString());

    CSingleInstanceLock lock;
    CInstanceChannel channel;
    const CSingleInstanceLock::Result locked = lock.Acquire();
    if (locked == CSingleInstanceLock::Result::AlreadyRunning) {
        CQtPrompt().ShowMessage("您已经运行了一个程序，不能再运行此程序!");
        // Then the running copy comes forward, where the operator looks.
        if (const QString why = channel.Ask(QString::fromLatin1(CInstanceChannel::kComeForward));
            !why.isEmpty())
            Print(stderr,
                  QStringLiteral("quillmark: the running copy was not reached: ") + why + u'\n');
        return 0;
    }
    // A lock that cannot be made at all leaves the program unguarded, not stopped.

    CNetworkCommunication communication(configured);
    SetGolbalCommunicaHandle(&communication);

    // Declared before the window, which records into it until it goes.
    journal::JournalWriter journal(configured.journalPath);
    auto window = std::make_unique<CReserveUploadDlg>();
    window->SetJournal(&journal);
    SetHistoryJournalFile(journal.Path());
    CReserveUploadDlg* statusWindow = window.get();
    communication.SetStatusSink(
        [statusWindow](const std::string& text) { statusWindow->ShowStatus(text); });
    if (locked == CSingleInstanceLock::Result::Acquired) {
        CReserveUploadDlg* shown = window.get();
        const QString why = channel.Listen([shown](const QString& request) {
            if (request == QLatin1String(CInstanceChannel::kComeForward))
                BringForward(*shown);
        });
        if (!why.isEmpty())
            Print(stderr, QStringLiteral("quillmark: no channel for later copies: ") + why + u'\n');
    }
    window->exec();

    // The lock goes first, so a new copy may start while this one cleans up.
    lock.Release();
    communication.SetStatusSink({});
    window.reset();
    SetGolbalCommunicaHandle(nullptr);
    return 0;
}
