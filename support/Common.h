#pragma once
// Where the tool finds its work directory.

#include <string>

class CCommon {
public:
    // Sets `path` to the work directory: the one given with SetWorkPath (the
    // programs' --workdir option), else the work directory setting
    // (support/settings/Settings.h). Returns 1, or 0 when none could be read.
    static int GetWorkPath(std::string& path);

    // Fixes the work directory for the rest of the process; "" undoes it.
    static void SetWorkPath(const std::string& path);
};
