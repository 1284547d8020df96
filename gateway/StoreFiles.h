#pragma once
// The store's files on disk are the operator's alone: a missing directory is
// made 0700, and the store file is made (or kept) 0600 before SQLite opens it.
// SQLite gives the -wal and -shm files it creates the mode of the store file.

#include <string>

// Prepares `path` (not ":memory:") for opening; false with `error` when a
// directory or the file cannot be made or its mode cannot be set.
bool PrepareStoreFiles(const std::string& path, std::string& error);
