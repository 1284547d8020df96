// Draws the real main window after a login, a load and a batch upload, as the
// window manager frames it on the screen, and saves it as a PNG (for the
// README and the screen tests). Messages go to stderr instead of boxes. Prints
// the sizes it saw, and fails when the framed window, its upload buttons or
// the advice line reach outside the screen's available area:
//
//   client WxH frame WxH+X+Y available WxH+X+Y screen WxH
//
//   quillmark-window-shot [--screen SCREEN.png] OUT.png WORKDIR OPERATOR PASSWORD
//                         [ADDRESS PORT]
//
// With --screen the whole screen is saved too. The gateway is reached through
// the network client, at ADDRESS:PORT when given, else at its defaults.

#include "FramedShot.h"
#include "ScreenCheck.h"

#include "support/Common.h"
#include "support/Prompt.h"
#include "ui/DialogUnits.h"
#include "ui/ReserveUploadDlg.h"

#ifdef QUILLMARK_HAVE_NETWORK
#include "support/net/NetworkCommunication.h"
#endif

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {
class StderrPrompt : public IPrompt {
public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
};
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const char* screenOut = nullptr;
    if (argc > 2 && std::strcmp(argv[1], "--screen") == 0) {
        screenOut = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc < 5) {
        std::fputs("usage: quillmark-window-shot [--screen SCREEN.png] OUT.png WORKDIR OPERATOR "
                   "PASSWORD [ADDRESS PORT]\n",
                   stderr);
        return 2;
    }
    QApplication::setFont(DialogFont());
    CCommon::SetWorkPath(argv[2]);
#ifdef QUILLMARK_HAVE_NETWORK
    CNetworkCommunication communication;
    SetGolbalCommunicaHandle(&communication);
#endif
    StderrPrompt prompt;
    CReserveUploadDlg dlg(&prompt);
#ifdef QUILLMARK_HAVE_NETWORK
    communication.SetStatusSink([&dlg](const std::string& text) { dlg.ShowStatus(text); });
#endif
    dlg.findChild<QLineEdit*>("operatorEdit")->setText(QString::fromLocal8Bit(argv[3]));
    dlg.findChild<QLineEdit*>("passwordEdit")->setText(QString::fromLocal8Bit(argv[4]));
    if (argc >= 7) {
        dlg.findChild<QLineEdit*>("addressEdit")->setText(QString::fromLocal8Bit(argv[5]));
        dlg.findChild<QLineEdit*>("portEdit")->setText(QString::fromLocal8Bit(argv[6]));
    }
    dlg.show();
    const QString out = QString::fromLocal8Bit(argv[1]);
    int status = 1;
    QTimer::singleShot(200, &dlg, [&] {
        dlg.OnLogin();
        dlg.OnLoad();
        dlg.OnUploadAll();
        if (!AwaitFrame(dlg)) {
            dlg.done(0);
            return;
        }
        const bool fits = FitsAvailableArea(dlg, {"uploadAllButton", "uploadEachButton",
                                                  "adviceLabel", "statusLine", "loadButton"});
        const QPixmap shot = dlg.screen()->grabWindow(0);
        const QPixmap window = FramedWindow(dlg, shot);
        status = window.save(out, "PNG") && fits ? 0 : 1;
        if (screenOut != nullptr && !shot.save(QString::fromLocal8Bit(screenOut), "PNG"))
            status = 1;
        dlg.done(0);
    });
    dlg.exec();
#ifdef QUILLMARK_HAVE_NETWORK
    communication.SetStatusSink({});
#endif
    return status;
}
