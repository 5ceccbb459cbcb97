#pragma once
// The serial port's system calls behind a small interface, so the session's
// port logic stays free of the platform's port calls. A port is an opaque
// handle, kNoSerialPort when closed. A call that fails returns a failed
// Status with the system's error code and text. Display-free.

#include <cstddef>
#include <string>

#include "core/Failure.h"
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

// Opens the port and configures it: the line is set to 9600 baud, 8 data
// bits, one stop bit with the driver's parity kept, hardware flow control,
// raw mode; pending input and output are discarded; DTR and RTS are raised
// where the driver allows it. A second opener is refused (EBUSY), root
// included. On failure port is kNoSerialPort and the Status holds the system's
// code and text, its kind as ClassifyPortOpenFailure (link/PortOpenFailure.h)
// sorts that code; *pStep, when given, is set to the step that failed.
Status SerialOpenPort(const std::string& strPath, SerialHandle& port, SerialStep* pStep = nullptr);

// Waits up to nTimeoutMs for room, then writes what fits of the n bytes
// (nWritten, 0 when the time ran out). Fails when the call fails or the other
// end hung up.
Status SerialWriteSome(SerialHandle port, const char* pBytes, size_t n, int nTimeoutMs, size_t& nWritten);

// Waits up to nTimeoutMs for bytes, then reads up to nMax of them (nRead, 0
// when none came). Fails when the call fails or the other end hung up.
Status SerialReadSome(SerialHandle port, char* pBytes, size_t nMax, int nTimeoutMs, size_t& nRead);

// A wake-up for a thread waiting in SerialReadSome: once signalled, every
// wait given it returns at once (nothing read), so a stop is seen without sitting
// out the wait. kNoSerialWake where the platform has none (the read's own
// time-out then bounds the wait). Close it only after the waiting thread
// has ended.
SerialWake SerialWakeCreate();
void SerialWakeSignal(SerialWake wake);
void SerialWakeClose(SerialWake wake);

// SerialReadSome that also returns (success, nothing read) once wake is
// signalled.
Status SerialReadSomeOrWake(SerialHandle port, SerialWake wake, char* pBytes, size_t nMax, int nTimeoutMs,
                            size_t& nRead);

// Discards unsent output (so the close cannot wait on a stalled line) and
// closes. The exclusive lock goes with the handle.
void SerialClosePort(SerialHandle port);

// Discards input received but not yet read.
void SerialFlushInput(SerialHandle port);

// The system's text for an error number.
std::string SerialErrorText(int nErrno);
