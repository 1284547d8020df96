#pragma once
// The programs as their users run them, for the end-to-end tests: one run of
// a program with its input, output and exit status, and the gateway
// simulator as a process of its own on loopback.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <string>
#include <vector>

#include <unistd.h>

inline constexpr int kProgramWaitMs = 30'000;

struct ProgramRun {
    int exitCode = -1; // -1 when it did not start, did not end in time or crashed
    std::string out;
    std::string err;
};

inline QStringList ToQStringList(const std::vector<std::string>& args) {
    QStringList list;
    for (const auto& arg : args)
        list << QString::fromStdString(arg);
    return list;
}

// Runs `program` with `input` on its standard input, without a controlling
// terminal (as under a service manager), so that a run that would ask on the
// terminal fails instead of waiting for someone at it.
inline ProgramRun RunProgram(const char* program, const std::vector<std::string>& args,
                             const std::string& input, const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(program, ToQStringList(args));
    ProgramRun result;
    if (!process.waitForStarted(kProgramWaitMs)) {
        result.err = "did not start";
        return result;
    }
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(kProgramWaitMs)) {
        process.kill();
        process.waitForFinished(kProgramWaitMs);
        result.err = "timed out waiting for " + std::string(program) + " to end";
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

// quillmark-gateway on an ephemeral loopback port, with an in-memory store.
class GatewayProcess {
public:
    ~GatewayProcess() { Stop(); }

    // Returns "" once the gateway listens, or what went wrong.
    std::string Start(const char* program, const QProcessEnvironment& env,
                      const std::string& operators) {
        m_process.setProcessEnvironment(env);
        m_process.start(program, ToQStringList({"--listen", "127.0.0.1:0", "--db",
                                                ":memory:", "--operators", operators}));
        if (!m_process.waitForStarted(kProgramWaitMs))
            return "the gateway did not start";
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(kProgramWaitMs))
                return "the gateway did not say where it listens";
        const std::string first = m_process.readLine().trimmed().toStdString();
        const std::string prefix = "listening on ";
        if (first.rfind(prefix, 0) != 0)
            return "the gateway said: " + first;
        m_listen = first.substr(prefix.size());
        return "";
    }

    void Stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(kProgramWaitMs)) {
            m_process.kill();
            m_process.waitForFinished(kProgramWaitMs);
        }
    }

    // HOST:PORT it listens on.
    const std::string& Listen() const { return m_listen; }

private:
    QProcess m_process;
    std::string m_listen;
};
