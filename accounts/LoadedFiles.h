#pragma once
// The three account files as a load read them, for whoever records uploads:
// what was read can be told apart from a file changed since.

#include <cstdint>
#include <string>

struct FileFacts {
    bool present = false; // false: the file was missing, so it held no records
    std::int64_t size = 0;
    std::string modified; // modification time, ISO 8601 with offset
    std::string sha256;   // 64 lower-case hex digits of the bytes read
};

struct LoadedFiles {
    FileFacts bank;     // yhzh.dat
    FileFacts reserveA; // agbfj.dat
    FileFacts reserveB; // bgbfj.dat
};
