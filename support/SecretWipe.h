#pragma once
// Overwrites a password's bytes before their memory is given back, so that a
// copy no longer needed does not linger in freed memory or a core file. The
// volatile writes are not optimised away as a dead store would be.

#include <string>

inline void WipeSecret(std::string& secret) {
    volatile char* bytes = secret.data();
    for (std::size_t i = 0; i < secret.size(); ++i)
        bytes[i] = '\0';
    secret.clear();
}

// Wipes a string when the scope that used it ends, on every way out.
class WipeOnExit {
public:
    explicit WipeOnExit(std::string& secret) : m_secret(secret) {}
    ~WipeOnExit() { WipeSecret(m_secret); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& m_secret;
};
