#include "GatewayProcess.h"

#include <QProcessEnvironment>

#include <fstream>

GatewayProcess::~GatewayProcess() {
    Stop();
}

bool GatewayProcess::Start(const QStringList& arguments, const QStringList& variables,
                           const QString& logFile, std::string& error, const std::string& port) {
    m_stdout.clear();
    // A file, not a pipe: nobody reads a pipe while the clients run, and a
    // full one would stall the gateway.
    m_process.setStandardErrorFile(logFile, QIODevice::Append);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : variables)
        environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
    m_process.setProcessEnvironment(environment);
    m_process.start(QStringLiteral(QUILLMARK_GATEWAY_PROGRAM),
                    QStringList{"--listen", QString::fromStdString("127.0.0.1:" + port)} +
                        arguments);
    if (!m_process.waitForStarted(30000)) {
        error = "cannot start the gateway: " + m_process.errorString().toStdString();
        return false;
    }
    while (!m_stdout.contains('\n') && m_process.waitForReadyRead(30000))
        m_stdout += m_process.readAllStandardOutput();
    const std::string line = m_stdout.left(m_stdout.indexOf('\n')).toStdString();
    if (line.rfind("listening on 127.0.0.1:", 0) != 0) {
        error = "the gateway did not announce its port: " + line;
        return false;
    }
    m_port = line.substr(line.rfind(':') + 1);
    return true;
}

void GatewayProcess::Stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(30000)) {
        m_process.kill();
        m_process.waitForFinished(30000);
    }
    m_stdout += m_process.readAllStandardOutput();
}

void GatewayProcess::Kill() {
    m_process.kill();
    m_process.waitForFinished(30000);
}

long long PeakResidentKiB(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    return -1;
}
