#pragma once
// Runs the real qvlctl program as a child process and collects what it
// prints and its exit status.

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

struct CtlRun {
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

// Runs strProgram with the arguments in strDir (where its log file goes).
// Standard output is collected, or with strStdout the program's standard
// output is that file ("/dev/full"), or closed for "-".
inline CtlRun RunProgram(const std::string& strProgram, const std::vector<std::string>& args, const std::string& strDir,
                         const std::string& strStdout = std::string())
{
    CtlRun run;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return run;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (strStdout == "-") {
            close(STDOUT_FILENO);
        } else if (!strStdout.empty()) {
            const int fd = open(strStdout.c_str(), O_WRONLY);
            if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0)
                _exit(127);
        }
        if (chdir(strDir.c_str()) != 0)
            _exit(127);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(strProgram.c_str()));
        for (const std::string& strArg : args)
            argv.push_back(const_cast<char*>(strArg.c_str()));
        argv.push_back(nullptr);
        execv(strProgram.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&run.strOut, &run.strErr};
    int nOpen = 2;
    while (nOpen > 0 && poll(fds, 2, 30000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                texts[i]->append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --nOpen;
            }
        }
    }
    for (const pollfd& p : fds) {
        if (p.fd >= 0)
            close(p.fd);
    }
    int nStatus = 0;
    if (pid > 0 && waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus))
        run.nExit = WEXITSTATUS(nStatus);
    return run;
}
