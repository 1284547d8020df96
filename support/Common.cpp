#include "support/Common.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace {
std::mutex g_mutex;
std::string g_workPath;
} // namespace

int CCommon::GetWorkPath(std::string& path) {
    {
        std::lock_guard lock(g_mutex);
        if (!g_workPath.empty()) {
            path = g_workPath;
            return 1;
        }
    }
    if (const char* fromEnvironment = std::getenv("QUILLMARK_WORKDIR"); fromEnvironment && *fromEnvironment) {
        path = fromEnvironment;
        return 1;
    }
    std::error_code error;
    const auto current = std::filesystem::current_path(error);
    if (error)
        return 0;
    path = current.string();
    return 1;
}

void CCommon::SetWorkPath(const std::string& path) {
    std::lock_guard lock(g_mutex);
    g_workPath = path;
}
