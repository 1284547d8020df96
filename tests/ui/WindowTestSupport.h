#pragma once
// Shared pieces of the window tests: a prompt that records, account files
// written from UTF-8 texts, a work directory of their own, and the window's
// controls by name.

#include "support/Prompt.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <string>
#include <vector>

class RecordingPrompt : public IPrompt {
public:
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (onMessage)
            onMessage(text);
    }
    std::vector<std::string> messages;
    std::function<void(const std::string&)> onMessage;
};

struct BankFileRecord {
    std::string code, accountNo, fullName, bankName; // UTF-8
};
struct ReserveFileRecord {
    std::string accountNo, name; // UTF-8
};

// A work directory with localconfig/ holding the given records, in use as the
// work path while the object lives.
class AccountWorkDir {
public:
    AccountWorkDir();
    ~AccountWorkDir();
    void WriteBank(const std::vector<BankFileRecord>& records);
    void WriteReserveA(const std::vector<ReserveFileRecord>& records);
    // Raw bytes as yhzh.dat, for damaged files.
    void WriteBankBytes(const std::string& bytes);
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

class QPushButton;
class QWidget;

// The push button of that object name in `window`.
QPushButton* Button(const QWidget& window, const char* name);
// A left click on that button.
void Click(QWidget& window, const char* name);
// Sets the text of the line edit of that object name.
void Type(QWidget& window, const char* name, const QString& text);

// Top-level widgets left open (the tests' cleanup checks there are none).
int VisibleTopLevelWidgets();
