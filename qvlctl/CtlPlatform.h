#pragma once
// What qvlctl needs of its platform beyond the core: the standard streams, and
// whether a named port is there before anything is sent. Display-free.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// The program's arguments as UTF-8: on Windows taken from the wide command
// line, so that a name in any letters arrives whatever the system's code
// page; elsewhere argv as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Readies the standard streams for results: false when standard output is
// closed (a result could not reach it).
bool PrepareStandardStreams();

// True when standard error is a terminal (progress lines go there then).
bool StderrIsTerminal();

// A port named with --port must be there, for every command: false with the
// message (without "qvlctl: ") when it is not, or is no serial port.
bool CheckPortName(const std::string& strPort, std::string& strMessage);
// True when something is at the port's name now (a watch's named ports): a
// device node, or on Windows a COM port the system has now.
bool PortIsThere(const std::string& strPort);

// The request to stop a long run (Ctrl+C, SIGTERM or SIGHUP; on Windows the
// console's Ctrl+C, Ctrl+Break and close): the first one asks the run to
// finish what is under way, a second one ends the program at once. False
// with the system's text when it cannot be set up.
bool InstallStopRequest(std::string& strError);
bool StopRequested();
// The run has finished and everything it had to write is out: a console
// being closed on Windows waits for this (within the time the system gives).
void RunFinished();
// Waits up to nMs, ending early when a stop is requested or WakeStopWait is
// called (from any thread; a call with no wait under way ends the next one).
void WaitForStopRequest(int nMs);
void WakeStopWait();
// Runs fn on a new thread that leaves stop requests to the main thread.
std::thread StartWorker(std::function<void()> fn);

// This computer's name, or "" when it has none.
std::string HostName();
// The broken-down UTC time of t.
std::tm UtcTime(std::time_t t);

// A file opened for appending lines, each of which is in it whole or not at
// all: appended under an exclusive lock on the file (so another process
// appending the same way never cuts in), in one write at the end, after a
// line end when the file does not end in one, then flushed to the disk. A
// write that fails or is cut short (a full disk) is cut off again.
class CAppendFile {
public:
    CAppendFile() = default;
    ~CAppendFile();
    CAppendFile(const CAppendFile&) = delete;
    CAppendFile& operator=(const CAppendFile&) = delete;

    // Opens (creates) the file, without ever waiting: anything but a regular
    // file (a FIFO, a device, a folder) is refused. False with the reason.
    bool Open(const std::string& strPath, std::string& strError);
    bool IsOpen() const { return m_h != -1; }
    // Appends strLine and its line end. False with the system's text when
    // the line did not reach the disk whole; the file is as it was then.
    bool AppendLine(const std::string& strLine, std::string& strError);

private:
    std::intptr_t m_h = -1; // a descriptor, or a Windows handle
};
