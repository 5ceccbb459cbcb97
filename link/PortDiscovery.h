#pragma once
// The platform half of port discovery: lists the serial ports present on the
// system together with the three texts the unit matching works on. The
// matching itself (CGetComList, link/ComList.h) is platform-free.
// Display-free.

#include <cstddef>
#include <string>
#include <vector>

// Which of a port's texts could not be obtained. The matching stops at the
// first missing one and logs it; the texts after it are left empty.
enum class PortReadFailure {
    None,
    DeviceKey,        // the port's device could not be opened
    PortName,         // the port name could not be read (or is too long)
    Parent,           // the parent device's instance id could not be read
    HardwareIdBuffer, // no buffer for the hardware-id list
    HardwareId,       // the hardware-id list could not be read
};

struct PortCandidate {
    std::wstring strPortName;         // e.g. /dev/ttyACM0
    std::wstring strParentInstanceId; // e.g. USB\VID_1A40&PID_0201\1-1
    std::wstring strFirstHardwareId;  // e.g. USB\VID_0483&PID_5740&REV_0200
    std::wstring strUsbPath;          // the USB function's place on the bus, e.g. 1-1.2
    PortReadFailure failure = PortReadFailure::None;
    size_t nHardwareIdSize = 0; // size asked for the hardware-id list
};

// Port names longer than this many characters cannot be read.
constexpr size_t kMaxPortNameChars = 255;

// Lists the serial ports present on the system, in a stable order. On Linux
// they come from sysfs under strSysfsRoot (normally "/sys"), ordered by name
// with digit runs compared as numbers; on Windows from SetupAPI's present
// COM-port interfaces in the system's order (strSysfsRoot is not used).
// False when the list of ports itself cannot be opened.
bool ListPortCandidates(const std::string& strSysfsRoot, std::vector<PortCandidate>& arrCandidates);

// True when a port of this name exists now (a device node such as
// /dev/ttyACM0, or a COM port name such as COM7).
bool PortPresent(const std::wstring& strPortName);
