// Test helper: tries the single-copy lock in the directory given as its first
// argument and prints "acquired", "running" or "unavailable". Holding the
// lock, it waits for a line on stdin (or its end) before it lets go.

#include "app/SingleInstance.h"

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: quillmark_instance_probe LOCKDIR\n", stderr);
        return 2;
    }
    CSingleInstanceLock lock(QString::fromLocal8Bit(argv[1]));
    switch (lock.Acquire()) {
    case CSingleInstanceLock::Result::Acquired:
        std::cout << "acquired" << std::endl;
        break;
    case CSingleInstanceLock::Result::AlreadyRunning:
        std::cout << "running" << std::endl;
        return 0;
    case CSingleInstanceLock::Result::Unavailable:
        std::cout << "unavailable" << std::endl;
        return 0;
    }
    std::string line;
    std::getline(std::cin, line);
    lock.Release();
    std::cout << "released" << std::endl;
    return 0;
}
