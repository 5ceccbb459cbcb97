#include "link/PortOpenFailure.h"

#include <cerrno>

namespace {

PortOpenFailureKind PosixKind(long nErrno)
{
    switch (nErrno) {
    case EBUSY: // another opener holds the lock (the serial layer reports flock's refusal so)
        return PortOpenFailureKind::InUse;
    case EACCES:
    case EPERM:
        return PortOpenFailureKind::NoPermission;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return PortOpenFailureKind::Gone;
    default:
        return PortOpenFailureKind::Other;
    }
}

// Windows' codes by number, so that this table is the same on every system.
PortOpenFailureKind WindowsKind(long nError)
{
    switch (nError) {
    case 5:   // ERROR_ACCESS_DENIED: a port is opened without sharing, so another holder refuses it
    case 32:  // ERROR_SHARING_VIOLATION
    case 170: // ERROR_BUSY
        return PortOpenFailureKind::InUse;
    case 1314: // ERROR_PRIVILEGE_NOT_HELD
        return PortOpenFailureKind::NoPermission;
    case 2:    // ERROR_FILE_NOT_FOUND: no port of that name
    case 3:    // ERROR_PATH_NOT_FOUND
    case 21:   // ERROR_NOT_READY
    case 55:   // ERROR_DEV_NOT_EXIST
    case 433:  // ERROR_NO_SUCH_DEVICE
    case 1167: // ERROR_DEVICE_NOT_CONNECTED
        return PortOpenFailureKind::Gone;
    default:
        return PortOpenFailureKind::Other;
    }
}

} // namespace

PortOpenFailure ClassifyPortOpenFailure(ErrorCodeSet set, long nCode, const std::string& strSystemText)
{
    const bool bWindows = set == ErrorCodeSet::Windows;
    PortOpenFailure failure;
    failure.kind = bWindows ? WindowsKind(nCode) : PosixKind(nCode);
    switch (failure.kind) {
    case PortOpenFailureKind::InUse:
        failure.strReason = "in use by another program";
        failure.strAdvice =
            "another program holds the port (the QVL Utility window, or another qvlctl): close it and try again";
        break;
    case PortOpenFailureKind::NoPermission:
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
    case PortOpenFailureKind::Gone:
        failure.strReason = "not found";
        failure.strAdvice = "the unit is not there: check its USB cable and the port name";
        break;
    case PortOpenFailureKind::Other:
        failure.strReason = strSystemText;
        failure.strAdvice = "check the unit's USB cable and try again";
        break;
    }
    return failure;
}
