#include "gateway/OperatorFile.h"

#include <QByteArray>
#include <QFile>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QSaveFile>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace {

constexpr const char* kScheme = "pbkdf2-sha256";

std::string Derive(const std::string& password, const std::string& salt, int iterations) {
    const QByteArray key = QPasswordDigestor::deriveKeyPbkdf2(
        QCryptographicHash::Sha256, QByteArray::fromStdString(password),
        QByteArray::fromStdString(salt), iterations, 32);
    return key.toStdString();
}

std::string RandomSalt() {
    std::string salt(16, '\0');
    for (char& c : salt)
        c = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return salt;
}

bool SameBytes(const std::string& a, const std::string& b) {
    // Compares every byte, so the time does not tell how much matched.
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

std::string Hex(const std::string& bytes) {
    return QByteArray::fromStdString(bytes).toHex().toStdString();
}

bool FromHex(const QByteArray& hex, std::string& bytes) {
    for (char c : hex)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    if (hex.size() % 2 != 0 || hex.isEmpty())
        return false;
    bytes = QByteArray::fromHex(hex).toStdString();
    return true;
}

// Makes every missing folder above `path`, owner-only: the operators file is
// a secret, and so is the list of who may log in.
bool MakeParentFolders(const std::string& path, std::string& error) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        struct stat status {};
        if (folder.back() == '/' || ::stat(folder.c_str(), &status) == 0)
            continue;
        if (errno != ENOENT || (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)) {
            error = "cannot create " + folder + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

} // namespace

bool OperatorTable::ValidName(const std::string& name) {
    return !name.empty() && name.size() <= 256 &&
           std::none_of(name.begin(), name.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

bool OperatorTable::ValidParticipant(const std::string& code) {
    return !code.empty() && code.size() <= 8 && std::all_of(code.begin(), code.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0;
    });
}

bool OperatorTable::Load(const std::string& path, std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path + ": " + file.errorString().toStdString();
        return false;
    }
    m_operators.clear();
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        QByteArray line = file.readLine(1 << 16);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> parts = line.split('\t');
        OperatorEntry entry;
        bool ok = parts.size() == 6 && parts[2] == kScheme;
        if (ok) {
            entry.participant = parts[1].toStdString();
            entry.iterations = parts[3].toInt(&ok);
            ok = ok && entry.iterations > 0 && entry.iterations <= 10'000'000 &&
                 ValidName(parts[0].toStdString()) && ValidParticipant(entry.participant) &&
                 FromHex(parts[4], entry.salt) && FromHex(parts[5], entry.hash);
        }
        if (!ok) {
            error = path + ":" + std::to_string(lineNumber) + ": not an operator line";
            return false;
        }
        m_operators[parts[0].toStdString()] = std::move(entry);
    }
    return true;
}

bool OperatorTable::Save(const std::string& path, std::string& error) const {
    if (!MakeParentFolders(path, error))
        return false;
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        error = "cannot write " + path + ": " + file.errorString().toStdString();
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    std::string text = "# quillmark-gateway operators: name, participant, scheme, iterations, "
                       "salt, hash\n";
    for (const auto& [name, entry] : m_operators)
        text += name + "\t" + entry.participant + "\t" + kScheme + "\t" +
                std::to_string(entry.iterations) + "\t" + Hex(entry.salt) + "\t" + Hex(entry.hash) +
                "\n";
    file.write(text.data(), static_cast<qint64>(text.size()));
    if (!file.commit()) {
        error = "cannot write " + path + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

void OperatorTable::Set(const std::string& name, const std::string& participant,
                        const std::string& password, int iterations) {
    OperatorEntry entry;
    entry.participant = participant;
    entry.iterations = iterations;
    entry.salt = RandomSalt();
    entry.hash = Derive(password, entry.salt, entry.iterations);
    m_operators[name] = std::move(entry);
}

const OperatorEntry* OperatorTable::Find(const std::string& name) const {
    const auto it = m_operators.find(name);
    return it == m_operators.end() ? nullptr : &it->second;
}

bool OperatorTable::Verify(const OperatorEntry* entry, const std::string& password) {
    static const OperatorEntry dummy{kDefaultParticipant, kHashIterations, std::string(16, 'x'),
                                     std::string(32, '\0')};
    const OperatorEntry& against = entry ? *entry : dummy;
    const bool match = SameBytes(Derive(password, against.salt, against.iterations), against.hash);
    return entry != nullptr && match;
}
