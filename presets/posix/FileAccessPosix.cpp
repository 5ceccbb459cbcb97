// Preset file access on POSIX: descriptors, fsync and rename.
#include "presets/FileAccess.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/FileCreation.h"

namespace {

// Reads up to nMax bytes of an open file. FALSE with errno set on a read error.
bool ReadUpTo(int fd, size_t nMax, std::string& strBytes, bool& bCut)
{
    strBytes.clear();
    bCut = false;
    char buf[65536];
    while (strBytes.size() < nMax) {
        const size_t nWant = std::min(sizeof(buf), nMax - strBytes.size());
        const ssize_t n = ::read(fd, buf, nWant);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        strBytes.append(buf, static_cast<size_t>(n));
    }
    char c;
    ssize_t n;
    do {
        n = ::read(fd, &c, 1);
    } while (n < 0 && errno == EINTR);
    bCut = n > 0;
    return true;
}

// Opens a file for reading without blocking on a FIFO or device; only regular
// files are accepted. Returns the descriptor, or -1 with errno set.
int OpenRegularForReading(const std::string& strPath, struct stat& st)
{
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0) {
        const int nErr = errno;
        ::close(fd);
        errno = nErr;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, const std::string& strBytes)
{
    size_t nDone = 0;
    while (nDone < strBytes.size()) {
        const ssize_t n = ::write(fd, strBytes.data() + nDone, strBytes.size() - nDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        nDone += static_cast<size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& strPath)
{
    const size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos)
        return ".";
    if (nSlash == 0)
        return "/";
    return strPath.substr(0, nSlash);
}

// Rewrites the file at strPath, which must still be the regular file with
// the owner and group in facts, in place: the file keeps its inode, owner,
// group and mode. Space for the new content is reserved first where the file
// system can, so that a full disk fails before anything is overwritten.
// FALSE with errno set.
bool RewriteInPlace(const std::string& strPath, const std::string& strBytes, const FileFacts& facts)
{
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    auto fail = [fd](int nErr) {
        ::close(fd);
        errno = nErr;
        return false;
    };
    struct stat st { };
    if (::fstat(fd, &st) != 0)
        return fail(errno);
    if (!S_ISREG(st.st_mode) || st.st_uid != facts.nOwner || st.st_gid != facts.nGroup)
        return fail(EAGAIN); // replaced since it was checked
    if (!strBytes.empty() && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(strBytes.size())) != 0
        && errno != EOPNOTSUPP && errno != ENOSYS)
        return fail(errno);
    if (::lseek(fd, 0, SEEK_SET) != 0 || !WriteAll(fd, strBytes))
        return fail(errno);
    if (::ftruncate(fd, static_cast<off_t>(strBytes.size())) != 0 || ::fsync(fd) != 0)
        return fail(errno);
    return ::close(fd) == 0;
}

// The permission bits a new file gets from the process's umask: 0666 less
// the umask. Read from /proc where it is there, since setting the umask to
// read it would change it for a moment for every thread.
unsigned NewFileMode()
{
    mode_t nMask = 022;
    bool bKnown = false;
    if (std::FILE* pStatus = std::fopen("/proc/self/status", "re")) {
        char szLine[256];
        unsigned nRead = 0;
        while (std::fgets(szLine, sizeof(szLine), pStatus)) {
            if (std::sscanf(szLine, "Umask: %o", &nRead) == 1) {
                nMask = static_cast<mode_t>(nRead);
                bKnown = true;
                break;
            }
        }
        std::fclose(pStatus);
    }
    if (!bKnown) {
        nMask = ::umask(022);
        ::umask(nMask);
    }
    return 0666u & ~static_cast<unsigned>(nMask);
}

// Writes strBytes to a temporary file in the folder of strPath and renames it
// over strPath. The temporary file is its creator's alone (0600) until the
// content is in place; only then, just before the rename, does it take its
// final owner, group and permission bits: for an existing file
// (facts.bExists) the original's, and when it cannot take owner and group,
// the original is rewritten in place instead. FALSE with errno set on any
// failure; the temporary file is then removed.
bool ReplaceFile(const std::string& strPath, const std::string& strBytes, const FileFacts& facts)
{
    const size_t nSlash = strPath.rfind('/');
    const std::string strDir = nSlash == std::string::npos ? std::string() : strPath.substr(0, nSlash + 1);

    std::string strTemp;
    int fd = -1;
    for (int nTry = 0; nTry < 100 && fd < 0; ++nTry) {
        strTemp = strDir + ReplacementTempName();
        // O_EXCL: a file or link already there is never opened or followed.
        fd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    FileCreated(strTemp);

    auto fail = [&](int nErr) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(strTemp.c_str());
        errno = nErr;
        return false;
    };

    if (!WriteAll(fd, strBytes))
        return fail(errno);
    if (facts.bExists) {
        // Owner and group both, or the owner's group alone (a member may
        // give a file its group).
        if (::fchown(fd, facts.nOwner, facts.nGroup) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), facts.nGroup);
        struct stat st { };
        if (::fstat(fd, &st) != 0)
            return fail(errno);
        if (st.st_uid != facts.nOwner || st.st_gid != facts.nGroup) {
            fail(0);
            return RewriteInPlace(strPath, strBytes, facts);
        }
        if (::fchmod(fd, (facts.bPrivate ? 0600 : facts.nMode) & 07777) != 0)
            return fail(errno);
    } else if (!facts.bPrivate && ::fchmod(fd, NewFileMode()) != 0) {
        return fail(errno);
    }
    if (::fsync(fd) != 0)
        return fail(errno);
    const int nClose = ::close(fd);
    fd = -1;
    if (nClose != 0)
        return fail(errno);
    if (::rename(strTemp.c_str(), strPath.c_str()) != 0)
        return fail(errno);

    // Make the rename itself durable; a failure here no longer affects the
    // content of the file.
    const int dfd = ::open(DirectoryOf(strPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

} // namespace

Status ReadRegularFile(const std::string& strPath, size_t nMax, std::string& strBytes, bool& bCut)
{
    strBytes.clear();
    bCut = false;
    struct stat st { };
    const int fd = OpenRegularForReading(strPath, st);
    if (fd < 0)
        return ErrnoFailure(errno);
    const bool bRead = ReadUpTo(fd, nMax, strBytes, bCut);
    const int nErr = bRead ? 0 : errno;
    ::close(fd);
    if (!bRead)
        return ErrnoFailure(nErr);
    return Status();
}

std::string ResolveTarget(const std::string& strPath)
{
    char szReal[PATH_MAX];
    if (::realpath(strPath.c_str(), szReal) != nullptr)
        return szReal;
    return strPath;
}

Status CheckReplaceable(const std::string& strPath, size_t nMax, FileFacts& facts)
{
    facts = FileFacts{};
    struct stat st { };
    if (::stat(strPath.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return Status();
        return ErrnoFailure(errno);
    }
    if (!S_ISREG(st.st_mode))
        return ErrnoFailure(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    // A file nobody may write is read-only, also for a privileged user.
    if ((st.st_mode & 0222) == 0 || ::access(strPath.c_str(), W_OK) != 0)
        return ErrnoFailure(EACCES);
    if (static_cast<unsigned long long>(st.st_size) > nMax)
        return ErrnoFailure(EFBIG);
    facts.bExists = true;
    facts.nMode = static_cast<unsigned>(st.st_mode);
    facts.nOwner = static_cast<unsigned>(st.st_uid);
    facts.nGroup = static_cast<unsigned>(st.st_gid);
    return Status();
}

Status ReplaceFileContents(const std::string& strPath, const std::string& strBytes, const FileFacts& facts)
{
    if (ReplaceFile(strPath, strBytes, facts))
        return Status();
    return ErrnoFailure(errno);
}
