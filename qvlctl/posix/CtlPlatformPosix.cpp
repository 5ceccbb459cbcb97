#include "qvlctl/CtlPlatform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

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
    // A reader that went away, or a file size limit reached, is reported by
    // the write's error, not a signal that ends the run mid-way.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    return bStdout;
}

bool StderrIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

bool CheckPortName(const std::string& strPort, std::string& strMessage)
{
    struct stat st { };
    if (stat(strPort.c_str(), &st) != 0) {
        strMessage = "cannot use " + strPort + ": " + std::strerror(errno)
            + "; the unit is not there: check its USB cable and the port name";
        return false;
    }
    if (!S_ISCHR(st.st_mode)) {
        strMessage = "cannot use " + strPort + ": not a serial port";
        return false;
    }
    return true;
}

bool PortIsThere(const std::string& strPort)
{
    struct stat st { };
    return stat(strPort.c_str(), &st) == 0;
}

namespace {

// The signals that ask a run to stop: Ctrl+C, kill, and a hang-up (the
// terminal closed, the ssh connection dropped).
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Set by the stop signals; the pipe wakes a wait. The system may run the
// handler on any thread that does not block the signals (the log's or the
// port monitor's), so the flag is a lock-free atomic, not a plain variable.
std::atomic<bool> g_bStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set in a signal handler");
int g_fdStopPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const int nErrno = errno; // the interrupted code's
    g_bStopRequested = true;
    const char c = 's';
    const ssize_t n = write(g_fdStopPipe[1], &c, 1);
    (void)n;
    errno = nErrno;
}

} // namespace

bool InstallStopRequest(std::string& strError)
{
    if (pipe2(g_fdStopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        strError = std::strerror(errno);
        return false;
    }
    struct sigaction sa { };
    sa.sa_handler = OnStopSignal;
    sa.sa_flags = SA_RESETHAND; // a second signal ends the program
    sigemptyset(&sa.sa_mask);
    for (const int nSignal : kStopSignals)
        sigaction(nSignal, &sa, nullptr);
    return true;
}

bool StopRequested()
{
    return g_bStopRequested;
}

void WaitForStopRequest(int nMs)
{
    pollfd pfd{g_fdStopPipe[0], POLLIN, 0};
    if (poll(&pfd, 1, nMs) != 1)
        return;
    // Taken, so that the next wait waits: a stop stays told by its flag.
    char buf[64];
    while (read(g_fdStopPipe[0], buf, sizeof buf) > 0) { }
}

void WakeStopWait()
{
    const char c = 'w';
    const ssize_t n = write(g_fdStopPipe[1], &c, 1);
    (void)n; // a full pipe wakes the wait as well
}

void RunFinished()
{
}

std::thread StartWorker(std::function<void()> fn)
{
    // A new thread takes the creating thread's signal mask.
    sigset_t block, old;
    sigemptyset(&block);
    for (const int nSignal : kStopSignals)
        sigaddset(&block, nSignal);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    std::thread t(std::move(fn));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return t;
}

std::string HostName()
{
    char szHost[256] = {};
    if (gethostname(szHost, sizeof szHost - 1) != 0)
        return std::string();
    return szHost;
}

std::tm UtcTime(std::time_t t)
{
    std::tm tm{};
    gmtime_r(&t, &tm);
    return tm;
}

CAppendFile::~CAppendFile()
{
    if (m_h != -1)
        close(static_cast<int>(m_h));
}

bool CAppendFile::Open(const std::string& strPath, std::string& strError)
{
    // Never waits: a FIFO without a reader would block the open, a device
    // may. What is there already is looked at before it is opened.
    struct stat st { };
    if (stat(strPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        strError = "not a regular file";
        return false;
    }
    const int fd = open(strPath.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        strError = std::strerror(errno);
        return false;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        strError = "not a regular file";
        close(fd);
        return false;
    }
    m_h = fd;
    return true;
}

bool CAppendFile::AppendLine(const std::string& strLine, std::string& strError)
{
    const int fd = static_cast<int>(m_h);
    // Another process appending the same way waits meanwhile.
    int nLock;
    while ((nLock = flock(fd, LOCK_EX)) != 0 && errno == EINTR) { }
    if (nLock != 0) {
        strError = std::strerror(errno);
        return false;
    }
    struct Unlock {
        int fd;
        ~Unlock() { flock(fd, LOCK_UN); }
    } unlock{fd};

    struct stat st { };
    if (fstat(fd, &st) != 0) {
        strError = std::strerror(errno);
        return false;
    }
    const off_t nStart = st.st_size;
    std::string strBytes;
    // A file cut by something else: this line starts on a line of its own.
    char cLast = '\n';
    if (nStart > 0 && pread(fd, &cLast, 1, nStart - 1) != 1) {
        strError = std::strerror(errno);
        return false;
    }
    if (cLast != '\n')
        strBytes = "\n";
    strBytes += strLine + "\n";

    // One write: with O_APPEND the bytes land at the end. What a failed or
    // short write left is cut off again, so the file never holds half a line.
    ssize_t n;
    while ((n = write(fd, strBytes.data(), strBytes.size())) < 0 && errno == EINTR) { }
    if (n < 0 || static_cast<size_t>(n) != strBytes.size() || fsync(fd) != 0) {
        strError = n >= 0 && static_cast<size_t>(n) != strBytes.size()
            ? "only part of the line could be written (is the disk full?)"
            : std::strerror(errno);
        if (ftruncate(fd, nStart) == 0)
            fsync(fd);
        return false;
    }
    return true;
}
