#include "tests/robustness/child_process.h"

#include <dirent.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

ChildResult run_child(const std::vector<std::string> &argv, int timeout_s, const std::function<void(pid_t)> &watch)
{
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        const int null_fd = open("/dev/null", O_RDONLY);
        dup2(null_fd, STDIN_FILENO);
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        close(out_pipe[0]);
        close(err_pipe[0]);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);

    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        if (std::chrono::steady_clock::now() > deadline && !result.timed_out) {
            result.timed_out = true;
            kill(pid, SIGKILL);
        }
        if (poll(fds, 2, 50) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
        if (watch && !result.timed_out)
            watch(pid);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.exited = WIFEXITED(wstatus);
    result.status = result.exited ? WEXITSTATUS(wstatus) : -1;
    result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    return result;
}

long resident_kib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

int open_fds(pid_t pid)
{
    DIR *fds = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (fds == nullptr)
        return -1;
    int n = 0;
    while (const dirent *entry = readdir(fds))
        n += entry->d_name[0] != '.';
    closedir(fds);
    return n;
}
