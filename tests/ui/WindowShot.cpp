// Draws the real main window after a login, a load and a batch upload and
// saves it as a PNG (for the README). Messages go to stderr instead of boxes.
//
//   quillmark-window-shot OUT.png WORKDIR OPERATOR PASSWORD [ADDRESS PORT]
//
// The gateway is reached through the network client, at ADDRESS:PORT when
// given, else at its configured defaults.

#include "support/Common.h"
#include "support/Prompt.h"
#include "ui/DialogUnits.h"
#include "ui/ReserveUploadDlg.h"

#ifdef QUILLMARK_HAVE_NETWORK
#include "support/net/NetworkCommunication.h"
#endif

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

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
    if (argc < 5) {
        std::fputs(
            "usage: quillmark-window-shot OUT.png WORKDIR OPERATOR PASSWORD [ADDRESS PORT]\n",
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
        QTimer::singleShot(300, &dlg, [&] {
            status = dlg.grab().save(out, "PNG") ? 0 : 1;
            dlg.done(0);
        });
    });
    dlg.exec();
#ifdef QUILLMARK_HAVE_NETWORK
    communication.SetStatusSink({});
#endif
    return status;
}
