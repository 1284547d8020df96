#include "support/Common.h"

#include "support/settings/Settings.h"

#include <mutex>

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
    std::string fromSettings = settings::Read().workDir;
    if (fromSettings.empty())
        return 0;
    path = std::move(fromSettings);
    return 1;
}

void CCommon::SetWorkPath(const std::string& path) {
    std::lock_guard lock(g_mutex);
    g_workPath = path;
}
