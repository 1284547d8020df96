#include "support/net/GatewaySettings.h"

#include <QDir>
#include <QSettings>
#include <QVariant>

#include <optional>

namespace {

std::optional<int> ParseInt(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

// The first valid value of an integer setting, environment before file.
std::optional<int> IntSetting(const char* variable, const QSettings& file, const char* key, int low,
                              int high) {
    if (auto value = ParseInt(qEnvironmentVariable(variable), low, high))
        return value;
    return ParseInt(file.value(key).toString(), low, high);
}

std::optional<bool> ParseSwitch(const QString& text) {
    const QString word = text.trimmed().toLower();
    if (word == "1" || word == "true" || word == "yes" || word == "on")
        return true;
    if (word == "0" || word == "false" || word == "no" || word == "off")
        return false;
    return std::nullopt;
}

} // namespace

std::string GatewaySettingsFile() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.config";
    return (base + "/quillmark/quillmark.conf").toStdString();
}

GatewaySettings ReadGatewaySettings() {
    GatewaySettings settings;
    const QSettings file(QString::fromStdString(GatewaySettingsFile()), QSettings::IniFormat);

    QString address = qEnvironmentVariable("QUILLMARK_GATEWAY_ADDRESS").trimmed();
    if (address.isEmpty())
        address = file.value("gateway/address").toString().trimmed();
    if (!address.isEmpty())
        settings.address = address.toStdString();

    if (auto port = IntSetting("QUILLMARK_GATEWAY_PORT", file, "gateway/port", 1, 65535))
        settings.port = *port;
    if (auto timeout =
            IntSetting("QUILLMARK_TIMEOUT_MS", file, "gateway/timeout_ms", 1, 24 * 3600 * 1000))
        settings.timeoutMs = *timeout;

    if (auto tls = ParseSwitch(qEnvironmentVariable("QUILLMARK_TLS")))
        settings.tls = *tls;
    else if (auto tlsInFile = ParseSwitch(file.value("gateway/tls").toString()))
        settings.tls = *tlsInFile;
    QString caFile = qEnvironmentVariable("QUILLMARK_TLS_CA").trimmed();
    if (caFile.isEmpty())
        caFile = file.value("gateway/ca_file").toString().trimmed();
    settings.caFile = caFile.toStdString();
    return settings;
}

std::string JournalFile() {
    QString path = qEnvironmentVariable("QUILLMARK_JOURNAL").trimmed();
    if (path.isEmpty()) {
        const QSettings file(QString::fromStdString(GatewaySettingsFile()), QSettings::IniFormat);
        path = file.value("journal/path").toString().trimmed();
    }
    if (path.isEmpty()) {
        QString base = qEnvironmentVariable("XDG_DATA_HOME");
        if (base.isEmpty())
            base = QDir::homePath() + "/.local/share";
        path = base + "/quillmark/journal.sqlite3";
    }
    return path.toStdString();
}
