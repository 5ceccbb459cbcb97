#include "qvlctl/CtlPlatform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool PrepareStandardStreams()
{
    // Keeps descriptors 0 to 2 taken: a port or log file opened later must
    // never become "standard output".
    bool bStdout = true;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == STDOUT_FILENO)
            bStdout = false;
        // open() takes the lowest free descriptor: this one.
        if (open("/dev/null", O_RDWR | O_CLOEXEC) != fd)
            std::abort();
    }
    // A reader that went away is reported by the write's error, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    return bStdout;
}

bool StderrIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

bool CheckPortName(const std::string& strPort, std::string& strMessage)
{
    struct stat st {};
    if (stat(strPort.c_str(), &st) != 0) {
        strMessage = "cannot use " + strPort + ": " + std::strerror(errno) +
                     "; the unit is not there: check its USB cable and the port name";
        return false;
    }
    if (!S_ISCHR(st.st_mode)) {
        strMessage = "cannot use " + strPort + ": not a serial port";
        return false;
    }
    return true;
}
