#pragma once
// The POSIX serial port's read step, split from its poll so that every event
// a descriptor can report is reachable from a test. Display-free.

#include <cstddef>

#include "link/SerialIo.h"

// What one step of a read or write came to, before it becomes a Status.
enum class SerialIoStatus {
    Ok,      // bytes moved (possibly fewer than asked)
    Timeout, // nothing moved within the time given
    Closed,  // the other end hung up (end of file)
    Failed,  // the call failed; nErrno tells why
};

// Reads from fd after poll reported nRevents for it: Ok with the bytes read,
// Timeout when nothing was there after all, Closed when the other end hung up
// (a hang-up may come without readable data: a pseudo-terminal's slave shows
// POLLHUP alone for a moment while its master closes), Failed otherwise.
SerialIoStatus SerialReadReady(int fd, short nRevents, char* pBytes, size_t nMax, size_t& nRead, int& nErrno);
