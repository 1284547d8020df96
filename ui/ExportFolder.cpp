#include "ui/ExportFolder.h"

#include "support/Common.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <string>

QString ExportFolderStateFile() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // Relative values are to be ignored, as for every XDG base directory.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quillmark/export-folder");
}

QString ExportStartFolder() {
    QFile file(ExportFolderStateFile());
    if (file.open(QIODevice::ReadOnly)) {
        const QString folder = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    std::string work;
    if (CCommon::GetWorkPath(work) != 0 && !work.empty()) {
        const QFileInfo info(QString::fromStdString(work));
        if (info.isDir())
            return info.absoluteFilePath();
    }
    return QDir::homePath();
}

void RememberExportFolder(const QString& exportedFile) {
    const QString stateFile = ExportFolderStateFile();
    const QString stateDir = QFileInfo(stateFile).absolutePath();
    if (!QDir().mkpath(stateDir))
        return;
    QFile::setPermissions(stateDir,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QSaveFile file(stateFile);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QFileInfo(exportedFile).absolutePath().toUtf8() + '\n');
    file.commit();
}

QString SuggestedExportName(const QString& what, const QDateTime& when) {
    return what + QLatin1Char('-') + when.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
           QStringLiteral(".xlsx");
}
