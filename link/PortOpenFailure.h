#pragma once
// Why a serial port did not open, told from the system's error code (never
// from its text, which is translated and differs between systems), in the
// words the window and qvlctl show. Display-free.

#include <string>

#include "core/Failure.h"

// Whose error codes a number is: errno values, or Windows' GetLastError().
enum class ErrorCodeSet { Posix, Windows };

// The kind is one of four: InUse (another program holds the port), Denied
// (the account may not use it), NotFound (no device at that name: unplugged,
// or a wrong name) and IoError (anything else: the system's own text is
// shown).
struct PortOpenFailure {
    FailureKind kind = FailureKind::IoError;
    std::string strReason; // short, beside the port in the window
    std::string strAdvice; // what to do about it, after qvlctl's message
};

// Classifies nCode of the given set; strSystemText (the system's text for the
// code) is the reason when the code is none of the known ones. Pure: both
// tables are available on every system.
PortOpenFailure ClassifyPortOpenFailure(ErrorCodeSet set, long nCode, const std::string& strSystemText);

// The same for a failure this system's serial layer reported.
PortOpenFailure ClassifyPortOpenFailure(const Failure& failure);
