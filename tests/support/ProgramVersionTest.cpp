// Every program prints the version of project(VERSION) with --version and
// ends with status 0, without a display, a gateway or a work directory.

#include "quillmark/Version.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

struct Program {
    const char* path;
    const char* name; // as its --version line starts
};

struct ProgramRun {
    std::string output;
    int status = -1;
};

ProgramRun RunWithVersion(const std::string& path) {
    ProgramRun run;
    const std::string command = "'" + path + "' --version 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr)
        run.output += buffer.data();
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class ProgramVersionTest : public ::testing::TestWithParam<Program> {};

TEST_P(ProgramVersionTest, PrintsTheProjectVersion) {
    const Program& program = GetParam();
    const ProgramRun run = RunWithVersion(program.path);
    EXPECT_EQ(run.status, 0) << program.path;
    EXPECT_EQ(run.output, std::string(program.name) + " " + quillmark::kVersion + "\n");
}

const Program kPrograms[] = {
#ifdef QUILLMARK_WINDOW_BIN
    {QUILLMARK_WINDOW_BIN, "Quillmark"},
#endif
    {QUILLMARK_CLI_BIN, "quillmark-cli"},
    {QUILLMARK_GATEWAY_BIN, "quillmark-gateway"},
    {QUILLMARK_MKDATA_BIN, "quillmark-mkdata"},
};

std::string ProgramName(const ::testing::TestParamInfo<Program>& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (c == '-')
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryProgram, ProgramVersionTest, ::testing::ValuesIn(kPrograms),
                         ProgramName);

TEST(Version, HasFourNumbersAndItsShortFormIsItsStart) {
    const std::string version = quillmark::kVersion;
    const std::string shortVersion = quillmark::kShortVersion;
    EXPECT_EQ(version.rfind(shortVersion + ".", 0), 0u) << version;
    int dots = 0;
    for (char c : version) {
        if (c == '.')
            ++dots;
        else
            EXPECT_TRUE(c >= '0' && c <= '9') << version;
    }
    EXPECT_EQ(dots, 3) << version;
}

} // namespace
