// A virtual X server for a test: Xvfb on a display number of its own
// choosing, which it writes to a pipe once it accepts connections; DISPLAY
// is set to it.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern char** environ;

namespace test {

inline bool OnPath(const char* program) {
    std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

class XvfbServer {
public:
    // The screen's size, e.g. "640x480x24".
    bool Start(const char* screen) {
        int fds[2];
        if (pipe(fds) != 0) return false;
        std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp", nullptr};
        int r = posix_spawnp(&pid_, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ);
        close(fds[1]);
        if (r != 0) {
            close(fds[0]);
            pid_ = 0;
            return false;
        }
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&p, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return false;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        return true;
    }
    ~XvfbServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = 0;
};

}  // namespace test
