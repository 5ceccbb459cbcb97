#pragma once
// The serial port's system calls behind a small interface, so the session's
// port logic stays free of the platform's port calls. A port is an opaque
// handle, kNoSerialPort when closed. Every failure carries the system's error
// number. Display-free.

#include <cstddef>
#include <string>

#include "core/SerialHandle.h"

// The steps of opening a port, in the order they run. A failing step closes
// the port again; the caller logs which step failed.
enum class SerialStep {
    Open,        // open read-write, not as controlling terminal, exclusively
    GetState,    // read the driver's line settings
    SetState,    // apply 9600 8N1, RTS/CTS, no XON/XOFF, raw
    GetTimeouts, // read the settings back
    SetTimeouts, // apply the read timing (poll bounds every read)
};

struct SerialFailure {
    SerialStep step = SerialStep::Open;
    int nErrno = 0;
};

enum class SerialIoStatus {
    Ok,      // bytes moved (possibly fewer than asked)
    Timeout, // nothing moved within the time given
    Closed,  // the other end hung up (end of file)
    Failed,  // the call failed; nErrno tells why
};

// Opens the port and configures it: the line is set to 9600 baud, 8 data
// bits, one stop bit with the driver's parity kept, hardware flow control,
// raw mode; pending input and output are discarded; DTR and RTS are raised
// where the driver allows it. A second opener is refused (EBUSY), root
// included. Returns false with failure set and port kNoSerialPort on failure.
bool SerialOpenPort(const std::string& strPath, SerialHandle& port, SerialFailure& failure);

// Waits up to nTimeoutMs for room, then writes what fits of the n bytes.
SerialIoStatus SerialWriteSome(SerialHandle port, const char* pBytes, size_t n, int nTimeoutMs, size_t& nWritten,
                               int& nErrno);

// Waits up to nTimeoutMs for bytes, then reads up to nMax of them.
SerialIoStatus SerialReadSome(SerialHandle port, char* pBytes, size_t nMax, int nTimeoutMs, size_t& nRead, int& nErrno);

// A wake-up for a thread waiting in SerialReadSome: once signalled, every
// wait given it returns at once (Timeout), so a stop is seen without sitting
// out the wait. kNoSerialWake where the platform has none (the read's own
// time-out then bounds the wait). Close it only after the waiting thread
// has ended.
SerialWake SerialWakeCreate();
void SerialWakeSignal(SerialWake wake);
void SerialWakeClose(SerialWake wake);

// SerialReadSome that also returns (Timeout, nothing read) once wake is
// signalled.
SerialIoStatus SerialReadSomeOrWake(SerialHandle port, SerialWake wake, char* pBytes, size_t nMax, int nTimeoutMs,
                                    size_t& nRead, int& nErrno);

// Discards unsent output (so the close cannot wait on a stalled line) and
// closes. The exclusive lock goes with the handle.
void SerialClosePort(SerialHandle port);

// Discards input received but not yet read.
void SerialFlushInput(SerialHandle port);

// The system's text for an error number.
std::string SerialErrorText(int nErrno);
