// The log file on POSIX: only a regular file of the user's own, made 0600,
// never reached through a link.
#include "core/LogFileAccess.h"

#include "core/FileCreation.h"
#include "core/Logging.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens without following a link at the path and without blocking on a
// FIFO; creates the file owner-only when it is missing.
int OpenNoFollow(const std::string& strPath, int nExtraFlags)
{
    return ::open(strPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | nExtraFlags,
                  0600);
}

// Why a file with these facts may not hold the log; empty when it may.
std::string RefusalOf(const struct stat& st)
{
    if (S_ISLNK(st.st_mode))
        return "is a symbolic link";
    if (!S_ISREG(st.st_mode))
        return "is not a regular file";
    if (st.st_uid != ::geteuid())
        return "belongs to another user";
    return std::string();
}

// Makes an open log file the user's private one; false when it cannot be.
bool MakePrivate(int fd, std::string& strReason)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        strReason = std::strerror(errno);
        return false;
    }
    strReason = RefusalOf(st);
    if (!strReason.empty())
        return false;
    if ((st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0) {
        strReason = std::string("cannot be made private: ") + std::strerror(errno);
        return false;
    }
    return true;
}

// A rotated file that exists must be the user's own as well: rotation moves
// the current file over it. Those kept from before are made private.
bool PrepareRotatedFiles(const std::string& strPath, std::string& strReason)
{
    for (size_t i = 1; i <= kLogMaxFiles; ++i) {
        const std::string strRotated = spdlog::sinks::rotating_file_sink_mt::calc_filename(strPath, i);
        struct stat st;
        if (::lstat(strRotated.c_str(), &st) != 0)
            continue;
        std::string strWhy = RefusalOf(st);
        if (strWhy.empty() && (st.st_mode & 07777) != 0600 && ::chmod(strRotated.c_str(), 0600) != 0)
            strWhy = std::string("cannot be made private: ") + std::strerror(errno);
        if (!strWhy.empty()) {
            strReason = "has a rotated file that " + strWhy + ": " + strRotated;
            return false;
        }
    }
    return true;
}

} // namespace

bool PrepareLogFile(const std::string& strPath, bool bReplaceLink, std::string& strReason)
{
    struct stat st;
    if (bReplaceLink && ::lstat(strPath.c_str(), &st) == 0 && !RefusalOf(st).empty()) {
        // Just after a rotation the path should be free. Whatever appeared
        // there is removed (a link itself, never its target) and a fresh
        // private file takes its place.
        ::unlink(strPath.c_str());
    }
    if (!bReplaceLink && !PrepareRotatedFiles(strPath, strReason))
        return false;
    // Created here, or opened as it is: only a file created here is told.
    int fd = OpenNoFollow(strPath, O_EXCL);
    if (fd >= 0)
        FileCreated(strPath);
    else if (errno == EEXIST)
        fd = OpenNoFollow(strPath, 0);
    if (fd < 0) {
        strReason = errno == ELOOP ? "is a symbolic link" : std::strerror(errno);
        return false;
    }
    const bool bPrivate = MakePrivate(fd, strReason);
    ::close(fd);
    return bPrivate;
}

bool IsLogFileAt(const std::string& strPath, std::FILE* pFile)
{
    struct stat stOpen, stPath;
    if (!pFile || ::fstat(::fileno(pFile), &stOpen) != 0 || ::lstat(strPath.c_str(), &stPath) != 0)
        return false;
    return S_ISREG(stPath.st_mode) && stOpen.st_uid == ::geteuid() && (stOpen.st_mode & 077) == 0
        && stOpen.st_dev == stPath.st_dev && stOpen.st_ino == stPath.st_ino;
}

void DivertLogStream(std::FILE* pFile)
{
    std::freopen("/dev/null", "ab", pFile);
}

spdlog::filename_t LogFileName(const std::string& strPath)
{
    return strPath;
}
