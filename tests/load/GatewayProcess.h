#pragma once
// quillmark-gateway started as a process of its own on a free loopback port,
// so that its memory can be measured apart from the clients'.

#include <QProcess>
#include <QStringList>

#include <string>

class GatewayProcess {
public:
    ~GatewayProcess();
    // Starts the program with `arguments` (plus --listen 127.0.0.1:PORT, a
    // free port unless `port` is given) and the extra environment
    // `variables`, its log (standard error) appended to `logFile`; false with
    // `error` when it does not announce its port within 10 s.
    bool Start(const QStringList& arguments, const QStringList& variables, const QString& logFile,
               std::string& error, const std::string& port = "0");
    // Ends the program and waits for it.
    void Stop();
    // Kills it at once (SIGKILL), as a crash would.
    void Kill();

    std::string Port() const { return m_port; }
    qint64 Pid() const { return m_process.processId(); }
    const QByteArray& StandardOutput() const { return m_stdout; }

private:
    QProcess m_process;
    std::string m_port;
    QByteArray m_stdout;
};

// The peak resident memory of a running process in KiB (VmHWM), or -1.
long long PeakResidentKiB(qint64 pid);
