#include "tools/mkdata/SampleWorkDir.h"

#include "accounts/AccountRecords.h"
#include "support/Text.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::pair<std::string_view, Damage>, 5> kDamages{{
    {"bad-length", Damage::BadLength},
    {"truncated", Damage::Truncated},
    {"directory", Damage::Directory},
    {"empty", Damage::Empty},
    {"missing", Damage::Missing},
}};

constexpr std::array<std::string_view, 3> kFileNames{"yhzh.dat", "agbfj.dat", "bgbfj.dat"};

const DamageRequest* DamageFor(const SampleWorkDirOptions& options, std::string_view fileName) {
    const DamageRequest* found = nullptr;
    for (const auto& request : options.damages)
        if (request.fileName == fileName)
            found = &request; // the last request for a file wins
    return found;
}

std::string Spoil(std::string contents, Damage damage, std::size_t recordLength) {
    switch (damage) {
    case Damage::BadLength:
        contents += 'X';
        break;
    case Damage::Truncated:
        if (contents.size() >= recordLength)
            contents.resize(contents.size() - recordLength / 2);
        else
            contents.assign(recordLength / 2, ' ');
        break;
    case Damage::Empty:
        contents.clear();
        break;
    case Damage::Directory:
    case Damage::Missing:
        break;
    }
    return contents;
}

// Clears the way for a new file: an old file goes, and so does an empty
// directory a previous damaged run left; anything else is not ours to remove.
bool ClearPath(const fs::path& path, std::string& error) {
    std::error_code ec;
    const auto status = fs::symlink_status(path, ec);
    if (ec || !fs::exists(status))
        return true;
    if (fs::is_directory(status) && !fs::is_empty(path, ec)) {
        error = "'" + path.string() + "' is a directory that is not empty; not removed";
        return false;
    }
    if (!fs::remove(path, ec) || ec) {
        error = "cannot remove '" + path.string() + "': " + ec.message();
        return false;
    }
    return true;
}

bool WriteFile(const fs::path& path, const std::string& contents, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    if (!out) {
        error = "cannot write '" + path.string() + "'";
        return false;
    }
    return true;
}

} // namespace

bool ParseDamageRequest(const std::string& wanted, DamageRequest& request) {
    const auto colon = wanted.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string kind = wanted.substr(0, colon);
    std::string file = wanted.substr(colon + 1);
    if (file.size() < 4 || file.compare(file.size() - 4, 4, ".dat") != 0)
        file += ".dat";
    bool kindKnown = false;
    for (const auto& [name, damage] : kDamages)
        if (kind == name) {
            request.damage = damage;
            kindKnown = true;
        }
    bool fileKnown = false;
    for (const auto name : kFileNames)
        if (file == name)
            fileKnown = true;
    if (!kindKnown || !fileKnown)
        return false;
    request.fileName = file;
    return true;
}

bool WriteSampleWorkDir(const std::string& workDir, const SampleWorkDirOptions& options,
                        std::string& report, std::string& error) {
    const fs::path dir = fs::path(workDir) / "localconfig";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        error = "cannot create '" + dir.string() + "': " + ec.message();
        return false;
    }

    for (const auto name : kFileNames) {
        const bool bank = name == "yhzh.dat";
        const std::size_t recordLength = bank ? kBankFileRecordLength : kReserveFileRecordLength;
        std::string contents;
        int count = 0;
        if (bank) {
            count = options.counts.bank;
            contents = MakeBankFile(count, options.seed);
        } else {
            const bool bShare = name == "bgbfj.dat";
            count = bShare ? options.counts.bShare : options.counts.reserve;
            contents = MakeReserveFile(count, options.seed, bShare);
        }

        const fs::path path = dir / name;
        if (!ClearPath(path, error))
            return false;
        const DamageRequest* damage = DamageFor(options, name);
        if (damage && damage->damage == Damage::Missing) {
            report += path.string() + ": left out\n";
            continue;
        }
        if (damage && damage->damage == Damage::Directory) {
            if (!fs::create_directory(path, ec) || ec) {
                error = "cannot create directory '" + path.string() + "': " + ec.message();
                return false;
            }
            report += path.string() + ": a directory in place of the file\n";
            continue;
        }
        if (damage)
            contents = Spoil(std::move(contents), damage->damage, recordLength);
        if (!WriteFile(path, contents, error))
            return false;
        if (damage)
            report += text::Format("%s: damaged, %zu bytes (records are %zu bytes)\n",
                                   path.string().c_str(), contents.size(), recordLength);
        else
            report += text::Format("%s: %d records, %zu bytes\n", path.string().c_str(), count,
                                   contents.size());
    }
    return true;
}
