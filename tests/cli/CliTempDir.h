#pragma once
// A fresh directory under the system's temporary directory, removed with
// everything in it when the test ends.

#include <filesystem>
#include <random>
#include <string>

class CliTempDir {
public:
    CliTempDir() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        do {
            m_path = std::filesystem::temp_directory_path() /
                     ("quillmark-cli-test-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(m_path));
    }
    ~CliTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CliTempDir(const CliTempDir&) = delete;
    CliTempDir& operator=(const CliTempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string Str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};
