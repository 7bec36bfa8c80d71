// A private Xvfb server for the tests of the video views: started on a free
// display number (Xvfb picks it and reports it through -displayfd), stopped
// on destruction.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

class XServer {
public:
    // The path of the Xvfb executable found on the PATH, or "".
    static std::string executable()
    {
        const char* path = std::getenv("PATH");
        std::string dirs = path ? path : "/usr/bin:/bin";
        size_t start = 0;
        while (start <= dirs.size()) {
            size_t end = dirs.find(':', start);
            if (end == std::string::npos) {
                end = dirs.size();
            }
            std::string candidate = dirs.substr(start, end - start) + "/Xvfb";
            if (access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
            start = end + 1;
        }
        return "";
    }

    static bool installed() { return !executable().empty(); }

    // Starts Xvfb with one 640x480 screen of the depth given; false (with the
    // reason in error) when it does not come up within ten seconds.
    bool start(std::string& error, const char* depth = "24")
    {
        const std::string screen = std::string("640x480x") + depth;
        int fds[2];
        if (pipe(fds) != 0) {
            error = "pipe failed";
            return false;
        }
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        const std::string fd = std::to_string(fds[1]);
        // -noreset: the server would otherwise reset whenever its last client
        // leaves, refusing connections meanwhile.
        const char* argv[] = {"Xvfb",    "-displayfd", fd.c_str(), "-screen",  "0",
                              screen.c_str(), "-nolisten", "tcp",  "-noreset", nullptr};
        const std::string program = executable();
        pid_ = fork();
        if (pid_ == 0) {
            // The server ends with the test process, even when that crashes.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, 1);
                dup2(null, 2);
            }
            execv(program.c_str(), const_cast<char**>(argv));
            _exit(127);
        }
        close(fds[1]);
        if (pid_ < 0) {
            close(fds[0]);
            error = "cannot start Xvfb";
            return false;
        }
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
            char buffer[16];
            ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            number.append(buffer, static_cast<size_t>(n));
        }
        close(fds[0]);
        if (number.find('\n') == std::string::npos) {
            error = "Xvfb did not report its display";
            stop();
            return false;
        }
        name_ = ":" + number.substr(0, number.find('\n'));
        return true;
    }

    // Ends the server (SIGKILL with hard, else SIGTERM) and waits for it.
    void stop(bool hard = false)
    {
        if (pid_ > 0) {
            kill(pid_, hard ? SIGKILL : SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

    ~XServer() { stop(); }

    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};
