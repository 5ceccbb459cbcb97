// The log file on POSIX: created 0600 without following links.
#include "app/LogFileAccess.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
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

} // namespace

bool PrepareLogFile(const std::string& strPath, bool bReplaceLink, std::string& strReason)
{
    int fd = OpenNoFollow(strPath, 0);
    if (fd < 0 && errno == ELOOP && bReplaceLink) {
        // unlink removes the link itself; its target is not touched.
        ::unlink(strPath.c_str());
        fd = OpenNoFollow(strPath, O_EXCL);
    }
    if (fd < 0) {
        strReason = errno == ELOOP ? "is a symbolic link" : std::strerror(errno);
        return false;
    }
    struct stat st;
    const bool bRegular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!bRegular) {
        strReason = "is not a regular file";
        return false;
    }
    return true;
}

bool IsLogFileAt(const std::string& strPath, std::FILE* pFile)
{
    struct stat stOpen, stPath;
    if (!pFile || ::fstat(::fileno(pFile), &stOpen) != 0 || ::lstat(strPath.c_str(), &stPath) != 0)
        return false;
    return S_ISREG(stPath.st_mode) && stOpen.st_dev == stPath.st_dev && stOpen.st_ino == stPath.st_ino;
}

void DivertLogStream(std::FILE* pFile)
{
    std::freopen("/dev/null", "ab", pFile);
}
