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

// A text setting, environment before file; empty when neither has one.
QString TextSetting(const char* variable, const QSettings& file, const char* key) {
    const QString value = qEnvironmentVariable(variable).trimmed();
    return value.isEmpty() ? file.value(key).toString().trimmed() : value;
}

// $variable, else `fallback` under the home directory.
QString XdgDir(const char* variable, const char* fallback) {
    const QString base = qEnvironmentVariable(variable);
    return base.isEmpty() ? QDir::homePath() + fallback : base;
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
    return (XdgDir("XDG_CONFIG_HOME", "/.config") + "/quillmark/quillmark.conf").toStdString();
}

GatewaySettings ReadGatewaySettings() {
    GatewaySettings settings;
    const QSettings file(QString::fromStdString(GatewaySettingsFile()), QSettings::IniFormat);

    const QString address = TextSetting("QUILLMARK_GATEWAY_ADDRESS", file, "gateway/address");
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
    settings.caFile = TextSetting("QUILLMARK_TLS_CA", file, "gateway/ca_file").toStdString();
    return settings;
}

std::string JournalFile() {
    const QSettings file(QString::fromStdString(GatewaySettingsFile()), QSettings::IniFormat);
    QString path = TextSetting("QUILLMARK_JOURNAL", file, "journal/path");
    if (path.isEmpty())
        path = XdgDir("XDG_DATA_HOME", "/.local/share") + "/quillmark/journal.sqlite3";
    return path.toStdString();
}
