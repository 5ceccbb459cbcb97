// Serial ports from SetupAPI: every present COM-port interface, in the
// system's order. For each the listing reads, stopping at the first that
// fails, the texts the matching works on:
//   port name           "PortName" of the device's hardware key (COM7)
//   parent instance id  DEVPKEY_Device_Parent (USB\VID_1A40&PID_0201\5&2a...)
//   first hardware id   the first entry of SPDRP_HARDWAREID
//                       (USB\VID_0483&PID_5740&REV_0200)
#include "link/PortDiscovery.h"

#include <windows.h>

#include <setupapi.h>

#include <new>
#include <vector>

namespace {

// {86E0D1E0-8089-11D0-9CE4-08003E301F73}
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// DEVPKEY_Device_Parent: {4340A6C5-93FA-4706-972C-7B648008A5A7}, 8.
const DEVPROPKEY kDeviceParent = {{0x4340A6C5, 0x93FA, 0x4706, {0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7}}, 8};

constexpr DWORD kPortNameBytes = 512;  // 256 wide characters, terminator included
constexpr DWORD kParentIdBytes = 4096; // 2048 wide characters

// A wide text read from a buffer that may lack its terminator.
std::wstring TextOf(const wchar_t* pText, size_t nMaxChars)
{
    size_t n = 0;
    while (n < nMaxChars && pText[n] != L'\0')
        ++n;
    return std::wstring(pText, n);
}

// Fills in one device's texts; the first that cannot be read is recorded.
void ReadCandidate(HDEVINFO hList, SP_DEVINFO_DATA& devInfo, PortCandidate& candidate)
{
    HKEY hKey = SetupDiOpenDevRegKey(hList, &devInfo, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (hKey == INVALID_HANDLE_VALUE) {
        candidate.failure = PortReadFailure::DeviceKey;
        return;
    }
    wchar_t szPort[kPortNameBytes / sizeof(wchar_t)] = {};
    DWORD nSize = sizeof(szPort) - sizeof(wchar_t); // room for a terminator the value may lack
    const LSTATUS nStatus =
        RegQueryValueExW(hKey, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(szPort), &nSize);
    RegCloseKey(hKey);
    if (nStatus != ERROR_SUCCESS) {
        candidate.failure = PortReadFailure::PortName;
        return;
    }
    candidate.strPortName = TextOf(szPort, nSize / sizeof(wchar_t));
    if (candidate.strPortName.size() > kMaxPortNameChars) {
        candidate.failure = PortReadFailure::PortName;
        return;
    }

    std::vector<wchar_t> parent(kParentIdBytes / sizeof(wchar_t), L'\0');
    DEVPROPTYPE nType = 0;
    if (!SetupDiGetDevicePropertyW(hList, &devInfo, &kDeviceParent, &nType, reinterpret_cast<BYTE*>(parent.data()),
                                   kParentIdBytes - sizeof(wchar_t), nullptr, 0)) {
        candidate.failure = PortReadFailure::Parent;
        return;
    }
    candidate.strParentInstanceId = TextOf(parent.data(), parent.size());

    DWORD nNeeded = 0;
    SetupDiGetDeviceRegistryPropertyW(hList, &devInfo, SPDRP_HARDWAREID, nullptr, nullptr, 0, &nNeeded);
    candidate.nHardwareIdSize = nNeeded;
    if (nNeeded == 0) {
        candidate.failure = PortReadFailure::HardwareId; // there is no list to read
        return;
    }
    // Two spare terminators: the list is read whole, whatever its end holds.
    std::vector<wchar_t> ids;
    try {
        ids.assign(nNeeded / sizeof(wchar_t) + 2, L'\0');
    } catch (const std::bad_alloc&) {
        candidate.failure = PortReadFailure::HardwareIdBuffer;
        return;
    }
    if (!SetupDiGetDeviceRegistryPropertyW(hList, &devInfo, SPDRP_HARDWAREID, nullptr,
                                           reinterpret_cast<BYTE*>(ids.data()), nNeeded, nullptr)) {
        candidate.failure = PortReadFailure::HardwareId;
        return;
    }
    // Only the first id of the list counts.
    candidate.strFirstHardwareId = TextOf(ids.data(), ids.size());
}

} // namespace

bool ListPortCandidates(const std::string& /*strSysfsRoot*/, std::vector<PortCandidate>& arrCandidates)
{
    HDEVINFO hList = SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (hList == INVALID_HANDLE_VALUE)
        return false;
    for (DWORD nIndex = 0;; ++nIndex) {
        SP_DEVINFO_DATA devInfo{};
        devInfo.cbSize = sizeof(devInfo);
        if (!SetupDiEnumDeviceInfo(hList, nIndex, &devInfo))
            break;
        PortCandidate candidate;
        ReadCandidate(hList, devInfo, candidate);
        arrCandidates.push_back(std::move(candidate));
    }
    SetupDiDestroyDeviceInfoList(hList);
    return true;
}

bool PortPresent(const std::wstring& strPortName)
{
    // A COM port is a DOS device name; anything else is taken as a path.
    wchar_t szTarget[1024];
    if (QueryDosDeviceW(strPortName.c_str(), szTarget, 1024) != 0)
        return true;
    return GetFileAttributesW(strPortName.c_str()) != INVALID_FILE_ATTRIBUTES;
}
