#pragma once
#include <string>
#include <vector>

namespace tharvel::test {

// What a program run as a child process left behind.
struct ProgramResult {
    int exitCode = -1;  // -1 when it did not exit normally
    int signal = 0;     // the signal that ended it, 0 when none
    std::string out, err;
};

// Runs `argv` to its end (argv[0] is looked up in PATH when it has no slash) with
// the test's environment changed by `env`: "NAME=value" sets a variable, "NAME"
// alone removes it. Standard input is /dev/null; standard output goes to
// `stdoutFile` when given, else it is captured like standard error.
ProgramResult runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                         const std::string& stdoutFile = "");

// The environment changes that take every display away from a desktop program.
std::vector<std::string> withoutDisplay();

}  // namespace tharvel::test
