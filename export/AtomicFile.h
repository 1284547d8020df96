#pragma once
// A file written under a temporary name beside its final one and renamed into
// place when complete, so readers never see it half-written and a failure
// leaves the old file (or none) behind.

#include <string>

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates an empty temporary file in the directory of `path`, readable and
    // writable by its owner only. Returns "" or the reason it failed.
    std::string Create(const std::string& path);

    // Where the content goes until Commit.
    const std::string& TempPath() const { return m_tempPath; }

    // Flushes the temporary file to disk and renames it to the final path.
    // Returns "" or the reason; on failure the temporary file is removed.
    std::string Commit();

    // Removes the temporary file; the final path is left as it was.
    void Discard();

private:
    std::string m_path;
    std::string m_tempPath;
};
