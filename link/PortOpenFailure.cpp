#include "link/PortOpenFailure.h"

#include <cerrno>

namespace {

// errno values as every layer classifies them, narrowed to the four kinds a
// port's opening tells apart.
FailureKind PosixKind(long nErrno)
{
    const FailureKind kind = FailureKindOfErrno(static_cast<int>(nErrno));
    switch (kind) {
    case FailureKind::InUse: // another opener holds the lock (the serial layer reports flock's refusal so)
    case FailureKind::Denied:
    case FailureKind::NotFound:
        return kind;
    default:
        return FailureKind::IoError;
    }
}

// Windows' codes by number, so that this table is the same on every system.
FailureKind WindowsKind(long nError)
{
    switch (nError) {
    case 5:   // ERROR_ACCESS_DENIED: a port is opened without sharing, so another holder refuses it
    case 32:  // ERROR_SHARING_VIOLATION
    case 170: // ERROR_BUSY
        return FailureKind::InUse;
    case 1314: // ERROR_PRIVILEGE_NOT_HELD
        return FailureKind::Denied;
    case 2:    // ERROR_FILE_NOT_FOUND: no port of that name
    case 3:    // ERROR_PATH_NOT_FOUND
    case 21:   // ERROR_NOT_READY
    case 55:   // ERROR_DEV_NOT_EXIST
    case 433:  // ERROR_NO_SUCH_DEVICE
    case 1167: // ERROR_DEVICE_NOT_CONNECTED
        return FailureKind::NotFound;
    default:
        return FailureKind::IoError;
    }
}

} // namespace

PortOpenFailure ClassifyPortOpenFailure(ErrorCodeSet set, long nCode, const std::string& strSystemText)
{
    const bool bWindows = set == ErrorCodeSet::Windows;
    PortOpenFailure failure;
    failure.kind = bWindows ? WindowsKind(nCode) : PosixKind(nCode);
    switch (failure.kind) {
    case FailureKind::InUse:
        failure.strReason = "in use by another program";
        failure.strAdvice =
            "another program holds the port (the QVL Utility window, or another qvlctl): close it and try again";
        break;
    case FailureKind::Denied:
        if (bWindows) {
            failure.strReason = "permission denied";
            failure.strAdvice = "no permission to use the port: ask the computer's administrator for access";
        } else {
            failure.strReason = "permission denied; see README, 'Access to the unit'";
            failure.strAdvice =
                "no permission to use the port: install the package's udev rule, or add your user "
                "to the dialout group and log in again";
        }
        break;
    case FailureKind::NotFound:
        failure.strReason = "not found";
        failure.strAdvice = "the unit is not there: check its USB cable and the port name";
        break;
    default:
        failure.strReason = strSystemText;
        failure.strAdvice = "check the unit's USB cable and try again";
        break;
    }
    return failure;
}

PortOpenFailure ClassifyPortOpenFailure(const Failure& failure)
{
#ifdef _WIN32
    const ErrorCodeSet set = ErrorCodeSet::Windows;
#else
    const ErrorCodeSet set = ErrorCodeSet::Posix;
#endif
    return ClassifyPortOpenFailure(set, failure.nCode, ToUtf8(failure.strText));
}
