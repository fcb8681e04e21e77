#pragma once

// Runs the rv740x program for a test and collects its exit status, stdout and stderr.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sim_harness.h"

#ifndef RV740X_CLI_PATH
#error "RV740X_CLI_PATH must name the rv740x executable"
#endif

namespace rv::test {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Environment variables for a run: an empty value removes the variable.
using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs rv740x with `args`; stdin is /dev/null, so the program never sees a terminal.
// `onStarted` (optional) is called with the child's id while it runs; `inChild` (optional)
// runs in the child just before the program starts, its output already redirected.
inline CliRun RunCli(const std::vector<std::string>& args,
                     const std::function<void(pid_t)>& onStarted = {},
                     const Environment& environment = {},
                     const std::function<void()>& inChild = {}) {
    TempDir dir;
    const std::string outPath = dir.path() + "/out";
    const std::string errPath = dir.path() + "/err";
    std::vector<std::string> all{RV740X_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    CliRun run;
    const pid_t pid = ::fork();
    if (pid < 0) return run;
    if (pid == 0) {
        for (const auto& [name, value] : environment) {
            if (value.empty()) {
                ::unsetenv(name.c_str());
            } else {
                ::setenv(name.c_str(), value.c_str(), 1);
            }
        }
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        if (inChild) inChild();
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (onStarted) onStarted(pid);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadWholeFile(outPath);
    run.err = ReadWholeFile(errPath);
    return run;
}

inline std::string Describe(const CliRun& run) {
    std::ostringstream text;
    text << "exit " << run.exitCode << "\n--- stdout\n" << run.out << "--- stderr\n" << run.err;
    return text.str();
}

}  // namespace rv::test
