// Whether another program could take a port now (POSIX).
#pragma once

#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// True when the port opens and its advisory lock is free: nothing holds it.
inline bool PortIsFree(const std::string& strPath)
{
    const int fd = ::open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool bFree = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return bFree;
}
