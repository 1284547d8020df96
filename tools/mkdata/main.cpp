// quillmark-mkdata: writes a work directory of sample account files.

#include "protocol/WireFormat.h"
#include "quillmark/Version.h"
#include "tools/mkdata/SampleWorkDir.h"

#include <charconv>
#include <iostream>
#include <string>
#include <vector>

namespace {

// As many accounts of a kind as one request may carry.
constexpr int kMaxRecords = static_cast<int>(protocol::kMaxRecords);

const char* const kUsage = R"(Usage: quillmark-mkdata [options] DIR
       quillmark-mkdata --version | --help

Writes DIR/localconfig/yhzh.dat (bank accounts, 122-byte records) and agbfj.dat,
bgbfj.dat (A-share and B-share settlement-reserve accounts, 48-byte records),
GBK-encoded, in the layouts quillmark reads. Account numbers are unique within
a file; the first record of each file fills every field; the others vary in
length and are padded with blanks, with NUL bytes, or start with a blank.
Existing files of these names are replaced.

Options:
  --seed N          seed of the sample (default 1); the same seed gives the same bytes
  --count N         records in every file (default 8 bank, 8 A-share, 4 B-share)
  --bank N          records in yhzh.dat
  --reserve N       records in agbfj.dat
  --b-share N       records in bgbfj.dat
  --damage KIND:FILE
                    spoil one file, to try the tool's messages; may repeat.
                    KIND: bad-length (one byte too many), truncated (last record
                    cut in half), directory (a directory in the file's place),
                    empty (length 0), missing (no file).
                    FILE: yhzh, agbfj or bgbfj (".dat" optional)
  --version         print the version
  -h, --help        show this text
Counts go up to 999999.
)";

int UsageError(const std::string& message) {
    std::cerr << "quillmark-mkdata: " << message << "\nTry 'quillmark-mkdata --help'.\n";
    return 2;
}

bool ParseCount(const std::string& text, int& out) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 ||
        value > kMaxRecords)
        return false;
    out = value;
    return true;
}

bool ParseSeed(const std::string& text, std::uint32_t& out) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    SampleWorkDirOptions options;
    std::string workDir;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--version") {
            std::cout << "quillmark-mkdata " << quillmark::kVersion << '\n';
            return 0;
        } else if (arg == "--seed") {
            if (!value(v) || !ParseSeed(v, options.seed))
                return UsageError("--seed needs a number from 0 to 4294967295");
        } else if (arg == "--count") {
            int n = 0;
            if (!value(v) || !ParseCount(v, n))
                return UsageError("--count needs a number from 0 to 999999");
            options.counts = {n, n, n};
        } else if (arg == "--bank" || arg == "--reserve" || arg == "--b-share") {
            int n = 0;
            if (!value(v) || !ParseCount(v, n))
                return UsageError(arg + " needs a number from 0 to 999999");
            (arg == "--bank"      ? options.counts.bank
             : arg == "--reserve" ? options.counts.reserve
                                  : options.counts.bShare) = n;
        } else if (arg == "--damage") {
            DamageRequest request{};
            if (!value(v) || !ParseDamageRequest(v, request))
                return UsageError("--damage needs KIND:FILE, e.g. bad-length:yhzh");
            options.damages.push_back(request);
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else if (workDir.empty() && !arg.empty()) {
            workDir = arg;
        } else {
            return UsageError("one work directory only");
        }
    }
    if (workDir.empty())
        return UsageError("no work directory given");

    std::string report, error;
    if (!WriteSampleWorkDir(workDir, options, report, error)) {
        std::cerr << "quillmark-mkdata: " << error << '\n';
        return 1;
    }
    std::cout << report;
    return 0;
}
