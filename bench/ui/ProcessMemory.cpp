#include "ProcessMemory.h"

#include <fstream>
#include <string>

namespace {
double StatusFieldMiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, field.size(), field) == 0)
            return std::stod(line.substr(field.size() + 1)) / 1024.0; // kB
    return -1;
}
} // namespace

double ResidentMiB() {
    return StatusFieldMiB("VmRSS");
}

double PeakResidentMiB() {
    return StatusFieldMiB("VmHWM");
}

void ResetPeakResident() {
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
}
