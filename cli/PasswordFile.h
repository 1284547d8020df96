#pragma once
// A password kept in a file: --password-file, or the credential the service
// manager hands to the scheduled run. Only a file that nobody but its owner,
// the user running the program, can read is accepted: anything else would
// leave the password open to others on the machine.

#include <string>

// The credential's name in $CREDENTIALS_DIRECTORY.
inline constexpr char kPasswordCredential[] = "quillmark-password";

struct PasswordFileResult {
    std::string password;
    std::string error; // empty when `password` is usable
};

// Reads `path` whole. Refused (with why in `error`): a file that is not a
// regular file, is owned by another user, has any group or other permission
// bit, holds more than kMaxPasswordLength bytes, or is empty. One trailing
// line end ("\n" or "\r\n") is removed; a password that is empty then is
// refused too.
PasswordFileResult ReadPasswordFile(const std::string& path);
