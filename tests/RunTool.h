// Runs the command-line tool `vako` as a user does, for the tests of its
// commands. Needs VAKO_TOOL, which the test binaries are given.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace vako {

struct ToolRun {
    int exitCode = -1;
    std::string output;
};

// Runs `program` with `args`; `redirect` says which streams reach `output`
// (by default stderr folded into stdout; " 2>&1 >/dev/null" keeps stderr only).
inline ToolRun runProgram(const std::string& program, const std::string& args,
                          const std::string& redirect = " 2>&1") {
    ToolRun run;
    FILE* pipe = popen((program + " " + args + redirect).c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Runs the tool with `args`, as runProgram does.
inline ToolRun runTool(const std::string& args, const std::string& redirect = " 2>&1") {
    return runProgram(VAKO_TOOL, args, redirect);
}

} // namespace vako
