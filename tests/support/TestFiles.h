#pragma once
// Reading a whole file and running a shell command, for tests that check
// what a program wrote.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace mv::test {

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// What `command` writes to standard output and standard error; its exit
// status in `status` when given (-1 when it could not be started).
inline std::string CommandOutput(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int rc = pclose(p);
    if (status) *status = rc;
    return out;
}

// CommandOutput of a command that must succeed: a failure to start it or a
// non-zero exit fails the test, with the command and its output.
inline std::string Shell(const std::string& command) {
    int status = 0;
    std::string out = CommandOutput(command, &status);
    EXPECT_EQ(status, 0) << command << "\n" << out;
    return out;
}

}  // namespace mv::test
