#pragma once
// Why a serial port did not open, told from the system's error code (never
// from its text, which is translated and differs between systems), in the
// words the window and qvlctl show. Display-free.

#include <string>

enum class PortOpenFailureKind {
    InUse,        // another program holds the port
    NoPermission, // the account may not use the port
    Gone,         // no device at that name (unplugged, or a wrong name)
    Other,        // anything else: the system's own text is shown
};

// Whose error codes a number is: errno values, or Windows' GetLastError().
enum class ErrorCodeSet { Posix, Windows };

struct PortOpenFailure {
    PortOpenFailureKind kind = PortOpenFailureKind::Other;
    std::string strReason; // short, beside the port in the window
    std::string strAdvice; // what to do about it, after qvlctl's message
};

// Classifies nCode of the given set; strSystemText (the system's text for the
// code) is the reason when the code is none of the known ones. Pure: both
// tables are available on every system.
PortOpenFailure ClassifyPortOpenFailure(ErrorCodeSet set, long nCode, const std::string& strSystemText);

// The same for a code this system's serial layer reported (SerialFailure).
PortOpenFailure ClassifyPortOpenFailure(int nCode);
