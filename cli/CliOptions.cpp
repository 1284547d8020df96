#include "cli/CliOptions.h"

#include "export/TableExport.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<const char*, CliCommand>, 4> kCommands{{
    {"load", CliCommand::Load},
    {"upload-all", CliCommand::UploadAll},
    {"upload-each", CliCommand::UploadEach},
    {"upload-new", CliCommand::UploadNew},
}};

std::optional<CliCommand> CommandNamed(const std::string& word) {
    for (const auto& [name, command] : kCommands)
        if (word == name)
            return command;
    return std::nullopt;
}

// Splits "--name=value" into its parts; a plain "--name" leaves value unset.
std::pair<std::string, std::optional<std::string>> SplitOption(const std::string& arg) {
    const auto equals = arg.find('=');
    if (equals == std::string::npos)
        return {arg, std::nullopt};
    return {arg.substr(0, equals), arg.substr(equals + 1)};
}

std::optional<int> ParseSeconds(const std::string& text) {
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    int seconds = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        seconds = seconds * 10 + (c - '0');
    }
    if (seconds > kMaxWaitSeconds)
        return std::nullopt;
    return seconds;
}

} // namespace

const char* CliCommandName(CliCommand command) {
    for (const auto& [name, known] : kCommands)
        if (known == command)
            return name;
    return "?";
}

bool SplitGatewayAddress(const std::string& hostPort, std::string& address, std::string& port) {
    const auto colon = hostPort.rfind(':');
    if (colon == std::string::npos)
        return false;
    address = hostPort.substr(0, colon);
    port = hostPort.substr(colon + 1);
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    return true;
}

CliParseResult ParseCliOptions(const std::vector<std::string>& args, bool operatorConfigured) {
    CliParseResult result;
    CliOptions& options = result.options;
    auto fail = [&result](std::string message) {
        result.error = std::move(message);
        return result;
    };

    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            const auto command = CommandNamed(arg);
            if (!command)
                return fail("unknown command '" + arg +
                            "' (expected load, upload-all, upload-each or upload-new)");
            options.commands.push_back(*command);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        auto [name, inlineValue] = SplitOption(arg);
        // Takes the option's value from "=VALUE" or from the next argument.
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        auto flagOnly = [&]() { return !inlineValue.has_value(); };

        if (name == "--help" || name == "-h") {
            if (!flagOnly())
                return fail(name + " takes no value");
            options.help = true;
        } else if (name == "--version") {
            if (!flagOnly())
                return fail("--version takes no value");
            options.version = true;
        } else if (name == "--password-stdin") {
            if (!flagOnly())
                return fail(
                    "--password-stdin takes no value; the password is read from standard input");
            options.passwordFromStdin = true;
        } else if (name == "--password-file") {
            std::string path;
            if (!value(path) || path.empty())
                return fail("--password-file needs a file name");
            options.passwordFile = path;
        } else if (name == "--password" || name == "-p") {
            return fail("a password is never taken from the command line: use --password-stdin, "
                        "QUILLMARK_PASSWORD or the terminal prompt");
        } else if (name == "--workdir") {
            std::string dir;
            if (!value(dir))
                return fail("--workdir needs a directory");
            if (dir.empty())
                return fail("--workdir needs a directory, not an empty name");
            options.workDir = dir;
        } else if (name == "--gateway") {
            std::string hostPort, address, port;
            if (!value(hostPort))
                return fail("--gateway needs HOST:PORT");
            if (!SplitGatewayAddress(hostPort, address, port))
                return fail("--gateway '" + hostPort + "' is not HOST:PORT");
            options.gatewayAddress = address;
            options.gatewayPort = port;
        } else if (name == "--results") {
            std::string path;
            if (!value(path))
                return fail("--results needs a file name");
            if (!ExportFormatOf(path))
                return fail("--results '" + path + "' must end in .csv or .xlsx");
            options.resultsPath = path;
        } else if (name == "--results-dir") {
            std::string dir;
            if (!value(dir) || dir.empty())
                return fail("--results-dir needs a directory");
            options.resultsDir = dir;
        } else if (name == "--scheduled") {
            if (!flagOnly())
                return fail("--scheduled takes no value");
            options.scheduled = true;
        } else if (name == "--wait") {
            std::string seconds;
            if (!value(seconds))
                return fail("--wait needs a number of seconds");
            const auto parsed = ParseSeconds(seconds);
            if (!parsed)
                return fail("--wait '" + seconds + "' is not a number of seconds from 0 to " +
                            std::to_string(kMaxWaitSeconds));
            options.waitSeconds = *parsed;
        } else if (name == "--operator") {
            std::string operatorName;
            if (!value(operatorName))
                return fail("--operator needs a name");
            options.operatorName = operatorName;
        } else {
            return fail("unknown option '" + name + "'");
        }
    }

    if (options.help || options.version)
        return result;
    if (options.passwordFromStdin && options.passwordFile)
        return fail("give the password one way: --password-stdin or --password-file, not both");
    if (!options.operatorName && !operatorConfigured)
        return fail("--operator NAME is required (or \"[daily] operator=\" in quillmark.conf)");
    if (options.commands.empty())
        return fail("no command given (load, upload-all, upload-each, upload-new)");
    // The window enables the upload buttons only after a load; so does the order here.
    if (options.commands.front() != CliCommand::Load)
        return fail(std::string(CliCommandName(options.commands.front())) +
                    " needs a load before it: put 'load' first");
    return result;
}

std::string CliUsageText() {
    return R"(Usage: quillmark-cli [--workdir DIR] [--gateway HOST:PORT] --operator NAME
                     [--password-stdin | --password-file FILE] [--results FILE]
                     [--results-dir DIR] [--scheduled] [--wait SECONDS] COMMAND...
       quillmark-cli history [[--failed] RUN | --stats | --prune-before DATE]
       quillmark-cli --version | --help

Logs in to the gateway, then runs each COMMAND in order, as an operator would
press the window's buttons:
  load          read localconfig/yhzh.dat, agbfj.dat and bgbfj.dat of the work
                directory into the two lists ("加 载")
  upload-all    upload every record in one request ("全部上传")
  upload-each   upload one request per record ("逐笔上传")
  upload-new    upload only the records not yet stored or held, in batches;
                records the gateway held back for duplicates go again
                ("只上传新增账户")
The first command must be load; commands may repeat (load upload-all upload-all).
The daily run of cumulative files: load upload-new. After a run that broke off,
upload-new in the same session sends only what is not stored yet.

Every upload run of the window and of this program is recorded in the journal,
$QUILLMARK_JOURNAL, else "[journal] path=" in quillmark.conf, else
$XDG_DATA_HOME/quillmark/journal.sqlite3 (~/.local/share/...). It is read
without a gateway, an operator or a load, tab-separated with a header line:
  history       list the runs, newest first
  history [--failed] RUN
                list run RUN's results in the order sent; with --failed only
                those not stored. An unknown RUN is exit status 1
  history --stats
                the file's size in bytes (with its write-ahead log), the runs
                and the distinct accounts it holds
  history --prune-before DATE
                remove the runs started before DATE (YYYY-MM-DD, local time),
                except runs a program is still writing, and give the space
                back to the file system in small steps

Options:
  --workdir DIR         work directory (default: $QUILLMARK_WORKDIR, else
                        "[workdir] path=" in quillmark.conf, else the current
                        directory); it must exist
  --gateway HOST:PORT   gateway to log in to (default: the communication object's
                        defaults, as the window pre-fills them: $QUILLMARK_GATEWAY_ADDRESS
                        and $QUILLMARK_GATEWAY_PORT, else ~/.config/quillmark/quillmark.conf,
                        else 127.0.0.1:7070)
  --operator NAME       operator name (passed on exactly as given); required
                        unless "[daily] operator=" in quillmark.conf or
                        $QUILLMARK_OPERATOR names one
  --password-stdin      read the password from standard input; one trailing line
                        end is removed
  --password-file FILE  read the password from FILE, which must be owned by this
                        user and readable by nobody else (chmod 600); one
                        trailing line end is removed, an empty password refused
  --results FILE        after the last command, also write both lists to FILE:
                        FILE.csv (UTF-8 with a byte-order mark, a header row,
                        a first column "账户类别" naming each row's list) or
                        FILE.xlsx (a sheet per list, every cell text); the file
                        is replaced only once complete. A failure is a message
                        and exit status 5
  --results-dir DIR     after the last command, also write each list to its own
                        .csv file in DIR (made when missing), named by the list
                        and the run's local date and time:
                        reserve-YYYYMMDD-HHMMSS.csv, bank-YYYYMMDD-HHMMSS.csv.
                        A failure is a message and exit status 5
  --scheduled           the run comes from the schedule: the journal records its
                        origin as "scheduled", and with --results-dir the results
                        files older than "[daily] keep_days=" days (default 90)
                        are removed first. A run that ends with any status
                        but 0 is told: a desktop notification on the session
                        bus, else a warning in the user's systemd journal; and
                        a mail through sendmail to "[daily] mail=" when set
  --wait SECONDS        how long to wait for a work directory that another run
                        (the window, another quillmark-cli) is uploading from;
                        default "[daily] wait_seconds=" (600). Then exit status 6
  --version             print the version
  -h, --help            show this text

The password is never taken from the command line. Without --password-stdin or
--password-file it comes from $QUILLMARK_PASSWORD, else from the credential
$CREDENTIALS_DIRECTORY/quillmark-password that the service manager hands over
(held to the same rules as --password-file), else it is asked for on the
terminal without echo.
Operator, password, address and port reach the same checks as the window's fields,
so an empty value gets the window's message.

Output (UTF-8):
  standard output   every message the window would show in a box, as a block:
                      [提示]
                      the text, its own line breaks kept
                      (an empty line)
                    then, after the last command, both lists, one row per line,
                    tab-separated: "reserve" or "bank", then every column in
                    order (row number, result code, result text, the record's
                    fields). Reserve rows first. A tab, line break or backslash
                    inside a cell is written as \t, \n, \r or \\.
  standard error    status texts as "[状态] TEXT", "[状态]" when cleared;
                    usage errors as "quillmark-cli: ..."

Exit status:
  0  every step succeeded (the login included)
  1  a step failed: its message was printed and later commands were not run
  2  usage error (unknown option or command, missing operator or command,
     a work directory that does not exist, no way to read a password, a
     password file or credential that others can read or that is empty)
  3  no communication object is available
  4  every step succeeded, but a run's message counts failed records (an
     unknown outcome among them)
  5  the journal or a results file could not be written; the upload went on
  6  the work directory is held by another run after the wait; nothing was sent
When several apply, the lowest number is the exit status.
)";
}
