#pragma once
// The gateway's operators: name, participant (the firm) and a salted PBKDF2
// hash of the password; the file never holds a password. One operator a line,
// tab-separated: name, participant, "pbkdf2-sha256", iterations, salt (hex),
// hash (hex). Lines starting with '#' are comments. Names and passwords are
// UTF-8.

#include <map>
#include <string>

inline constexpr const char* kDefaultParticipant = "P0000001";
inline constexpr int kHashIterations = 20'000;

struct OperatorEntry {
    std::string participant;
    int iterations = 0;
    std::string salt; // raw bytes
    std::string hash; // raw bytes
};

class OperatorTable {
public:
    // False with `error` when the file cannot be read or a line is malformed.
    bool Load(const std::string& path, std::string& error);
    // Writes the whole table atomically, readable by its owner only; missing
    // folders above it are made, mode 0700.
    bool Save(const std::string& path, std::string& error) const;

    // Adds the operator or replaces its participant and password. Tests may
    // ask for fewer hash iterations to stay quick.
    void Set(const std::string& name, const std::string& participant, const std::string& password,
             int iterations = kHashIterations);
    const OperatorEntry* Find(const std::string& name) const;
    std::size_t Size() const { return m_operators.size(); }

    // True when `password` is the operator's. Without an entry the same work
    // is done against a dummy, so an unknown name takes as long as a known one.
    static bool Verify(const OperatorEntry* entry, const std::string& password);

    // A name or participant the file can hold: non-empty, no control bytes.
    static bool ValidName(const std::string& name);
    // A participant code: 1 to 8 ASCII letters or digits (it goes into records).
    static bool ValidParticipant(const std::string& code);

private:
    std::map<std::string, OperatorEntry> m_operators;
};
