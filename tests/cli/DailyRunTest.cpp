// The daily run as its service runs it: quillmark-cli --scheduled with the
// password from a credentials directory, the operator, work directory and
// gateway from the settings file, no terminal and nothing on standard input,
// against quillmark-gateway on loopback. Each way of going wrong gives its
// exit status.

#include "CliTempDir.h"
#include "ProgramRun.h"
#include "support/WorkDirLock.h"

#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int kCannot = 77;
const std::string kOperator = "值班员";
const std::string kPassword = "daily pass";

using RunResult = ProgramRun;

// Replaces `path`, even one its owner may only read (as a credential is).
void WriteFile(const fs::path& path, const std::string& content, mode_t mode) {
    fs::create_directories(path.parent_path());
    std::error_code ignored;
    fs::remove(path, ignored);
    std::ofstream out(path, std::ios::binary);
    out << content;
    out.close();
    ASSERT_TRUE(out) << "cannot write " << path;
    ::chmod(path.c_str(), mode);
}

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class DailyRun : public ::testing::Test {
protected:
    CliTempDir dir;
    fs::path config = dir.Path() / "config";
    fs::path state = dir.Path() / "state";
    fs::path runtime = dir.Path() / "runtime";
    fs::path credentials = dir.Path() / "credentials";
    fs::path work = dir.Path() / "accounts";
    fs::path results = state / "quillmark" / "results";
    fs::path fakeBin = dir.Path() / "bin";
    fs::path journalLines = dir.Path() / "journal-lines";
    fs::path mails = dir.Path() / "mails";
    std::string operators = (dir.Path() / "operators").string();
    QProcessEnvironment env;
    GatewayProcess gateway;
    std::string listen;

    void SetUp() override {
        env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"QUILLMARK_PASSWORD", "QUILLMARK_GATEWAY_ADDRESS", "QUILLMARK_GATEWAY_PORT",
              "QUILLMARK_WORKDIR", "QUILLMARK_JOURNAL", "QUILLMARK_OPERATOR", "QUILLMARK_KEEP_DAYS",
              "QUILLMARK_WAIT_SECONDS", "QUILLMARK_MAIL", "DISPLAY", "WAYLAND_DISPLAY",
              "DBUS_SESSION_BUS_ADDRESS"})
            env.remove(name);
        env.insert("HOME", QString::fromStdString(dir.Str()));
        env.insert("LANG", "C.UTF-8");
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString((dir.Path() / "data").string()));
        env.insert("XDG_STATE_HOME", QString::fromStdString(state.string()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
        env.insert("CREDENTIALS_DIRECTORY", QString::fromStdString(credentials.string()));
        fs::create_directories(runtime);
        ::chmod(runtime.c_str(), 0700);
        // The user's journal and the system's sendmail, as files to read.
        for (const auto& [program, record] :
             {std::pair{"systemd-cat", &journalLines}, std::pair{"sendmail", &mails}})
            WriteFile(fakeBin / program,
                      "#!/bin/sh\n{ printf 'args: %s\\n' \"$*\"; cat; } >>'" + record->string() +
                          "'\n",
                      0755);
        env.insert("PATH", QString::fromStdString(fakeBin.string()) + ":" +
                               env.value("PATH", "/usr/bin:/bin"));

        for (const auto& [name, participant] :
             {std::pair{kOperator, "A001"}, std::pair{std::string("他人"), "B002"}}) {
            const RunResult added = RunProgram(
                QUILLMARK_GATEWAY_BIN,
                {"add-operator", "--operators", operators, "--participant", participant, name},
                kPassword + "\n", env);
            ASSERT_EQ(added.exitCode, 0) << added.err;
        }
        StartGateway();
        WriteFile(credentials / "quillmark-password", kPassword + "\n", 0400);
        WriteSettings();
    }

    void StartGateway() {
        const std::string failure = gateway.Start(QUILLMARK_GATEWAY_BIN, env, operators);
        ASSERT_EQ(failure, "");
        listen = gateway.Listen();
    }

    void StopGateway() { gateway.Stop(); }

    void WriteSettings(const std::string& extraDaily = "") {
        const auto colon = listen.rfind(':');
        WriteFile(config / "quillmark" / "quillmark.conf",
                  "[gateway]\naddress=" + listen.substr(0, colon) +
                      "\nport=" + listen.substr(colon + 1) + "\n[workdir]\npath=" + work.string() +
                      "\n[daily]\noperator=" + kOperator + "\nkeep_days=30\n" + extraDaily,
                  0600);
    }

    void MakeData(std::vector<std::string> args, const fs::path& where) {
        args.push_back(where.string());
        const RunResult made = RunProgram(QUILLMARK_MKDATA_BIN, args, "", env);
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }

    // The service's command line, word for word but for the folder.
    std::vector<std::string> ScheduledArgs(const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> args{"--scheduled", "--results-dir=" + results.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"load", "upload-new"});
        return args;
    }

    RunResult Scheduled(const std::vector<std::string>& extra = {}) {
        return RunProgram(QUILLMARK_CLI_BIN, ScheduledArgs(extra), "", env);
    }

    static bool HaveSessionBus() {
        const std::string bin = DBUS_RUN_SESSION_BIN;
        return !bin.empty() && bin.find("NOTFOUND") == std::string::npos;
    }

    // The service's command line on a private session bus whose notifications
    // service appends what it is told to `record`.
    RunResult ScheduledOnBus(const fs::path& record, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"--", QUILLMARK_NOTIFY_STUB_BIN, record.string(), "--",
                                      QUILLMARK_CLI_BIN};
        const std::vector<std::string> scheduled = ScheduledArgs(extra);
        args.insert(args.end(), scheduled.begin(), scheduled.end());
        return RunProgram(DBUS_RUN_SESSION_BIN, args, "", env);
    }

    // The scheduled runs the journal holds.
    int ScheduledRunsInTheJournal() {
        const RunResult history = RunProgram(QUILLMARK_CLI_BIN, {"history"}, "", env);
        EXPECT_EQ(history.exitCode, 0) << history.err;
        std::istringstream rows(history.out);
        int scheduled = 0;
        for (std::string line; std::getline(rows, line);)
            scheduled += line.find("\tscheduled\t") != std::string::npos;
        return scheduled;
    }

    // The service's command line in a mount namespace of its own, run by
    // `script` (sh) as "$@" once it has mounted there what the test needs. Root
    // has such a namespace to itself; anyone else asks for a user namespace.
    // The script exits with $cannot (kCannot) where the machine does not allow it.
    RunResult ScheduledInPrivateMounts(const std::string& script, const QProcessEnvironment& with) {
        std::vector<std::string> args{"--mount"};
        if (::geteuid() != 0)
            args.push_back("--map-root-user");
        args.insert(args.end(),
                    {"--", "sh", "-c", "cannot=" + std::to_string(kCannot) + "\n" + script, "sh",
                     QUILLMARK_CLI_BIN});
        const std::vector<std::string> scheduled = ScheduledArgs();
        args.insert(args.end(), scheduled.begin(), scheduled.end());
        return RunProgram("unshare", args, "", with);
    }
};

} // namespace

TEST_F(DailyRun, FirstRunStoresEverythingAndTheNextDayOnlyWhatIsNew) {
    MakeData({"--bank", "100", "--reserve", "50"}, work);
    // Results files of long ago go; one of today stays; another file is not ours.
    fs::create_directories(results);
    WriteFile(results / "bank-20000101-073000.csv", "old", 0600);
    WriteFile(results / "notes.txt", "mine", 0600);

    RunResult run = Scheduled();
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("上传A股备付金:新增50条,已存在0条,失败0条;\n上传银行账户:新增100条,"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("removed bank-20000101-073000.csv"), std::string::npos) << run.err;
    auto files = FilesIn(results);
    ASSERT_EQ(files.size(), 3u) << ::testing::PrintToString(files);
    EXPECT_EQ(files[0].rfind("bank-", 0), 0u);
    EXPECT_EQ(files[1], "notes.txt");
    EXPECT_EQ(files[2].rfind("reserve-", 0), 0u);
    std::ifstream bankFile(results / files[0], std::ios::binary);
    std::string line;
    int lines = 0;
    while (std::getline(bankFile, line))
        ++lines;
    EXPECT_EQ(lines, 1 + 100) << "a header and a row per bank account";

    // The next day's files: 2 % more accounts. Only those are stored.
    MakeData({"--bank", "102", "--reserve", "51"}, work);
    run = Scheduled();
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("上传A股备付金:新增1条,已存在50条,失败0条;\n上传银行账户:新增2条,"
                           "已存在100条,失败0条;"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(FilesIn(results).size(), 5u);

    // The journal has both runs, from the schedule.
    EXPECT_EQ(ScheduledRunsInTheJournal(), 2);
}

TEST_F(DailyRun, CredentialsOthersCanReadOrThatAreEmptyAreRefused) {
    MakeData({"--count", "1"}, work);
    const struct {
        const char* content;
        mode_t mode;
        const char* needle;
    } cases[] = {
        {"daily pass\n", 0644, "can be used by others"},
        {"", 0600, "holds no password"},
        {"\n", 0400, "holds no password"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.needle);
        WriteFile(credentials / "quillmark-password", c.content, c.mode);
        const RunResult run = Scheduled();
        EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
        EXPECT_NE(run.err.find(c.needle), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("quillmark-password"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << "nothing sent: " << run.out;
    }
    // --password-file goes before the credential and is held to the same rules.
    const fs::path file = dir.Path() / "password";
    WriteFile(file, kPassword + "\n", 0600);
    RunResult run = Scheduled({"--password-file", file.string()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    ::chmod(file.c_str(), 0660);
    run = Scheduled({"--password-file", file.string()});
    EXPECT_EQ(run.exitCode, 2) << run.err;
}

TEST_F(DailyRun, EachWayOfGoingWrongHasItsExitStatusANotificationAndAnHonestJournal) {
    if (!HaveSessionBus())
        GTEST_SKIP() << "no dbus-run-session";
    MakeData({"--bank", "4", "--reserve", "3"}, work);
    const fs::path record = dir.Path() / "notifications";
    const fs::path damaged = dir.Path() / "damaged";
    MakeData({"--damage", "truncated:yhzh"}, damaged);
    const fs::path blocked = dir.Path() / "blocked";
    WriteFile(blocked, "a file where the folder's parent should be", 0600);

    // Another participant holds two accounts of the last case's files: the
    // gateway refuses them to us.
    const fs::path others = dir.Path() / "others";
    MakeData({"--bank", "6", "--reserve", "3"}, others);

    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::vector<std::string> extra;
        int status;
        const char* said; // on standard output
        int runsRecorded; // runs the journal gains
    };
    const Case cases[] = {
        {"a wrong password",
         [&] { WriteFile(credentials / "quillmark-password", "wrong\n", 0600); },
         {},
         1,
         "网关拒绝登录",
         0},
        {"a damaged account file",
         [&] { WriteFile(credentials / "quillmark-password", kPassword, 0600); },
         {"--workdir", damaged.string()},
         1,
         "已经损坏",
         0},
        {"a results folder that cannot be made",
         [] {},
         {"--results-dir", (blocked / "results").string()},
         5,
         "cannot be made",
         1},
        {"records the gateway refuses",
         [&] {
             const RunResult theirs =
                 RunProgram(QUILLMARK_CLI_BIN,
                            {"--workdir", others.string(), "--operator", "他人", "--password-stdin",
                             "load", "upload-each"},
                            kPassword + "\n", env);
             ASSERT_EQ(theirs.exitCode, 4) << theirs.out << theirs.err;
             MakeData({"--bank", "6", "--reserve", "3"}, work);
         },
         {},
         4,
         "失败2条",
         1},
        {"a stopped gateway", [&] { StopGateway(); }, {}, 1, "无法连接网关", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        fs::remove(record);
        const int runsBefore = ScheduledRunsInTheJournal();
        const RunResult run = ScheduledOnBus(record, c.extra);
        EXPECT_EQ(run.exitCode, c.status) << run.out << run.err;
        EXPECT_NE(run.out.find(c.said), std::string::npos) << run.out;
        const std::string told = FileText(record);
        EXPECT_NE(told.find("(exit status " + std::to_string(c.status) + ")\nbody: "),
                  std::string::npos)
            << told;
        EXPECT_EQ(ScheduledRunsInTheJournal() - runsBefore, c.runsRecorded);
        EXPECT_EQ(told.find("No upload was recorded") == std::string::npos, c.runsRecorded > 0)
            << told;
    }
}

TEST_F(DailyRun, WorkDirectoryHeldByAnotherRunWaitsThenEndsWith6) {
    MakeData({"--count", "2"}, work);
    // The window holding the work directory, as it does while it uploads.
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    workdir::Lock window(work.string(), "quillmark");
    ASSERT_EQ(window.Acquire(std::chrono::milliseconds(0)), workdir::Lock::Result::Acquired)
        << window.Error();

    RunResult run = Scheduled({"--wait", "1"});
    EXPECT_EQ(run.exitCode, 6) << run.out << run.err;
    EXPECT_NE(
        run.err.find("[等待] work directory '" + work.string() + "' is in use by quillmark (pid"),
        std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("is still in use by quillmark (pid"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty()) << "nothing sent: " << run.out;

    // Let go, the next run goes through.
    window.Release();
    run = Scheduled({"--wait", "0"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

TEST_F(DailyRun, WithoutASessionBusAWarningGoesToTheJournalAndAMailOut) {
    MakeData({"--count", "2"}, work);
    WriteSettings("mail=ops@example.invalid\n");
    WriteFile(credentials / "quillmark-password", "wrong\n", 0600);
    const RunResult run = Scheduled();
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("no desktop notification"), std::string::npos) << run.err;

    const std::string journal = FileText(journalLines);
    EXPECT_NE(journal.find("args: -t quillmark-cli -p warning\n"), std::string::npos) << journal;
    EXPECT_NE(journal.find("Quillmark daily run: a step failed (exit status 1) | No upload was "
                           "recorded for " +
                           work.string()),
              std::string::npos)
        << journal;

    const std::string mail = FileText(mails);
    EXPECT_NE(mail.find("args: -i -- ops@example.invalid\nTo: ops@example.invalid\n"
                        "Subject: Quillmark daily run: a step failed (exit status 1)\n"),
              std::string::npos)
        << mail;
    EXPECT_NE(mail.find("journalctl --user -u quillmark-daily.service"), std::string::npos) << mail;

    // A run that went well tells nobody.
    WriteFile(credentials / "quillmark-password", kPassword, 0600);
    fs::remove(journalLines);
    fs::remove(mails);
    EXPECT_EQ(Scheduled().exitCode, 0);
    EXPECT_FALSE(fs::exists(journalLines));
    EXPECT_FALSE(fs::exists(mails));
}

TEST_F(DailyRun, OnASessionBusTheDesktopIsToldTheRunAndHowToLookAtIt) {
    if (!HaveSessionBus())
        GTEST_SKIP() << "no dbus-run-session";
    MakeData({"--bank", "3", "--reserve", "2"}, work);
    const fs::path record = dir.Path() / "notifications";

    // The upload went, its results file could not be written: status 5, with
    // the run's number.
    const fs::path blocked = dir.Path() / "blocked";
    WriteFile(blocked, "not a folder", 0600);
    RunResult run = ScheduledOnBus(record, {"--results-dir", (blocked / "results").string()});
    ASSERT_EQ(run.exitCode, 5) << run.out << run.err;
    std::string told = FileText(record);
    EXPECT_NE(told.find("app: Quillmark\nsummary: Quillmark daily run: the journal or a results "
                        "file could not be written (exit status 5)\nbody: Run 1 from " +
                        work.string() + ".\n"),
              std::string::npos)
        << told;
    EXPECT_NE(told.find("Look at it with: quillmark-cli history 1 (or \"上传记录...\" in the "
                        "window)"),
              std::string::npos)
        << told;
    EXPECT_FALSE(fs::exists(journalLines)) << "the desktop took it: " << FileText(journalLines);

    // The window holds the work directory: status 6, no run to name.
    fs::remove(record);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    workdir::Lock window(work.string(), "quillmark");
    ASSERT_EQ(window.Acquire(std::chrono::milliseconds(0)), workdir::Lock::Result::Acquired);
    run = ScheduledOnBus(record, {"--wait", "0"});
    EXPECT_EQ(run.exitCode, 6) << run.out << run.err;
    told = FileText(record);
    EXPECT_NE(told.find("summary: Quillmark daily run: the work directory was held by another run "
                        "(exit status 6)\nbody: No upload was recorded for " +
                        work.string() + ".\nwork directory '" + work.string() +
                        "' is still in use by quillmark (pid "),
              std::string::npos)
        << told;
}

TEST_F(DailyRun, AResultsFolderOnAFullDiskEndsWith5AndLeavesNoPartOfAFile) {
    MakeData({"--bank", "40", "--reserve", "30"}, work);
    fs::create_directories(results);
    // A file system of one page, filled up; what is in it after the run is listed.
    const std::string folder = "'" + results.string() + "'";
    const std::string script = "mount -t tmpfs -o size=4k tmpfs " + folder + " || exit $cannot\n" +
                               "head -c 65536 /dev/zero >" + folder + "/filler 2>/dev/null\n" +
                               "\"$@\"; status=$?\n" + "echo \"left: $(ls -A " + folder +
                               " | tr '\\n' ' ')\"\n" + "exit $status\n";
    const RunResult run = ScheduledInPrivateMounts(script, env);
    if (run.exitCode == kCannot)
        GTEST_SKIP() << "no mount namespace here: " << run.err;
    EXPECT_EQ(run.exitCode, 5) << run.out << run.err;
    EXPECT_NE(run.out.find("新增30条"), std::string::npos) << "the upload went on: " << run.out;
    EXPECT_NE(run.out.find("No space left on device"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("left: filler \n"), std::string::npos)
        << "no part of a file: " << run.out;

    // The journal has the run as it went: the next run, with room, finds every
    // account stored and writes its files.
    const RunResult next = Scheduled();
    EXPECT_EQ(next.exitCode, 0) << next.out << next.err;
    EXPECT_NE(next.out.find("上传A股备付金:新增0条,已存在30条,失败0条;\n上传银行账户:新增0条,"
                            "已存在40条,失败0条;"),
              std::string::npos)
        << next.out;
    EXPECT_EQ(FilesIn(results).size(), 2u);
}

TEST_F(DailyRun, WithoutASessionBusTheWarningIsInTheJournalAtWarningLevel) {
    const std::string journald = SYSTEMD_JOURNALD_BIN, journalctl = JOURNALCTL_BIN;
    if (journald.empty() || journald.find("NOTFOUND") != std::string::npos || journalctl.empty() ||
        journalctl.find("NOTFOUND") != std::string::npos)
        GTEST_SKIP() << "no systemd-journald";
    MakeData({"--count", "2"}, work);
    WriteFile(credentials / "quillmark-password", "wrong\n", 0600);
    // The machine's own systemd-cat, writing to a journald of the test's own.
    QProcessEnvironment machine = env;
    machine.insert("PATH", QProcessEnvironment::systemEnvironment().value("PATH", "/usr/bin:/bin"));
    const fs::path entries = dir.Path() / "entries.json";
    const std::string script =
        "mkdir -p /run/systemd/journal /run/log/journal 2>/dev/null || exit $cannot\n"
        "for d in /run/systemd/journal /run/log/journal; do\n"
        "  mount -t tmpfs tmpfs \"$d\" || exit $cannot\n"
        "done\n"
        "if [ -d /var/log/journal ]; then mount -t tmpfs tmpfs /var/log/journal || exit $cannot; "
        "fi\n" +
        journald +
        " >/dev/null 2>&1 &\n"
        "journald=$!\n"
        "i=0\n"
        "until [ -S /run/systemd/journal/stdout ]; do\n"
        "  i=$((i + 1)); [ $i -lt 200 ] || { kill $journald; exit $cannot; }; sleep 0.05\n"
        "done\n"
        "\"$@\"; status=$?\n"
        "i=0\n"
        "until " +
        journalctl + " -D /run/log/journal -o json --no-pager -t quillmark-cli -p warning >'" +
        entries.string() + "' 2>/dev/null && [ -s '" + entries.string() +
        "' ]; do\n"
        "  i=$((i + 1)); [ $i -lt 100 ] || break; sleep 0.05\n"
        "done\n"
        "kill $journald; wait $journald\n"
        "exit $status\n";
    const RunResult run = ScheduledInPrivateMounts(script, machine);
    if (run.exitCode == kCannot)
        GTEST_SKIP() << "no journald of our own here: " << run.err;
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    std::istringstream lines(FileText(entries));
    std::string line, found;
    while (std::getline(lines, line))
        if (line.find("\"MESSAGE\":\"Quillmark daily run: a step failed (exit status 1)") !=
            std::string::npos)
            found = line;
    ASSERT_FALSE(found.empty()) << FileText(entries);
    EXPECT_NE(found.find("\"PRIORITY\":\"4\""), std::string::npos) << found;
    EXPECT_NE(found.find("\"SYSLOG_IDENTIFIER\":\"quillmark-cli\""), std::string::npos) << found;
    EXPECT_NE(found.find("No upload was recorded for " + work.string()), std::string::npos)
        << found;
}
