// A private X server, started on first use and stopped by PID at exit.
#include "tests/common/xvfb.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test_util {

namespace {

pid_t server_pid = -1;

void stop_server()
{
    if (server_pid <= 0)
        return;
    kill(server_pid, SIGTERM);
    for (int i = 0; i < 200; i++) {
        if (waitpid(server_pid, nullptr, WNOHANG) == server_pid) {
            server_pid = -1;
            return;
        }
        usleep(10000);
    }
    kill(server_pid, SIGKILL);
    waitpid(server_pid, nullptr, 0);
    server_pid = -1;
}

std::string start_server()
{
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        char fd_text[16];
        snprintf(fd_text, sizeof fd_text, "%d", fds[1]);
        // Xvfb writes the display number it chose to the descriptor, then a line feed.
        execlp("Xvfb", "Xvfb", "-displayfd", fd_text, "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", "-noreset", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return "";
    }
    server_pid = pid;
    atexit(stop_server);
    std::string number;
    struct pollfd p = {fds[0], POLLIN, 0};
    while (poll(&p, 1, 20000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        stop_server();
        return "";
    }
    return ":" + number;
}

} // namespace

const std::string &private_display()
{
    static const std::string display = start_server();
    return display;
}

} // namespace test_util
