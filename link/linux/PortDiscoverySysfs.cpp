// Serial ports from sysfs. Every entry of <root>/class/tty whose "device"
// link leads to a USB interface (directly, or through a USB serial converter's
// port device below the interface) is a port. Its USB function is the
// interface's parent directory (idVendor, idProduct, bcdDevice) and the
// function's parent directory is the device it hangs off (normally a hub,
// with its own idVendor and idProduct). From these the listing builds the
// texts the matching works on:
//   port name           /dev/ttyACM0
//   parent instance id  USB\VID_1A40&PID_0201\1-1   (parent's ids, its sysfs name)
//   first hardware id   USB\VID_0483&PID_5740&REV_0200
// ttys without a USB interface behind them (consoles, on-board UARTs, ptys)
// are not listed.

#include "link/PortDiscovery.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "core/TextUtil.h"

namespace {

bool IsDirectory(const std::string& strPath)
{
    struct stat st { };
    return stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& strPath)
{
    struct stat st { };
    return stat(strPath.c_str(), &st) == 0;
}

std::string ParentDir(const std::string& strPath)
{
    const size_t nPos = strPath.find_last_of('/');
    if (nPos == std::string::npos || nPos == 0)
        return "/";
    return strPath.substr(0, nPos);
}

std::string BaseName(const std::string& strPath)
{
    const size_t nPos = strPath.find_last_of('/');
    return nPos == std::string::npos ? strPath : strPath.substr(nPos + 1);
}

// Reads a sysfs id file: one to four hex digits (blanks and the newline
// around them ignored). Gives them upper-case, zero-padded to four digits.
bool ReadHexId(const std::string& strPath, std::string& strId)
{
    std::ifstream in(strPath);
    if (!in)
        return false;
    std::string strText;
    char buf[64];
    in.read(buf, sizeof(buf));
    strText.assign(buf, static_cast<size_t>(in.gcount()));
    const size_t nBegin = strText.find_first_not_of(" \t\r\n");
    if (nBegin == std::string::npos)
        return false;
    const size_t nEnd = strText.find_last_not_of(" \t\r\n");
    strText = strText.substr(nBegin, nEnd - nBegin + 1);
    if (strText.empty() || strText.size() > 4)
        return false;
    for (char& c : strText) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    strId = std::string(4 - strText.size(), '0') + strText;
    return true;
}

// The USB interface a tty's device directory belongs to: the directory
// itself, or one of its two nearest ancestors (USB serial converters put a
// port device below the interface). Empty when there is none.
std::string FindUsbInterface(const std::string& strDevice)
{
    std::string strDir = strDevice;
    for (int nLevel = 0; nLevel < 3; ++nLevel) {
        if (FileExists(strDir + "/bInterfaceNumber"))
            return strDir;
        if (FileExists(strDir + "/idVendor"))
            return {}; // reached a USB device without passing an interface
        strDir = ParentDir(strDir);
        if (strDir == "/")
            break;
    }
    return {};
}

// Orders names with their digit runs compared as numbers, so that ttyACM2
// comes before ttyACM10.
bool NaturalLess(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool bDigitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool bDigitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (bDigitA && bDigitB) {
            size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie])))
                ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je])))
                ++je;
            // Compare without leading zeros: longer run is larger.
            size_t is = i, js = j;
            while (is + 1 < ie && a[is] == '0')
                ++is;
            while (js + 1 < je && b[js] == '0')
                ++js;
            if (ie - is != je - js)
                return ie - is < je - js;
            const int nCmp = a.compare(is, ie - is, b, js, je - js);
            if (nCmp != 0)
                return nCmp < 0;
            if (ie - i != je - j)
                return ie - i < je - j;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

bool ListPortCandidates(const std::string& strSysfsRoot, std::vector<PortCandidate>& arrCandidates)
{
    const std::string strClassDir = strSysfsRoot + "/class/tty";
    DIR* pDir = opendir(strClassDir.c_str());
    if (pDir == nullptr)
        return false;
    std::vector<std::string> arrNames;
    while (const dirent* pEntry = readdir(pDir)) {
        const std::string strName = pEntry->d_name;
        if (strName != "." && strName != "..")
            arrNames.push_back(strName);
    }
    closedir(pDir);
    std::sort(arrNames.begin(), arrNames.end(), NaturalLess);

    for (const std::string& strName : arrNames) {
        const std::string strLink = strClassDir + "/" + strName + "/device";
        struct stat st { };
        if (lstat(strLink.c_str(), &st) != 0)
            continue; // no device behind it: a virtual terminal or a pty

        PortCandidate candidate;
        char szResolved[PATH_MAX];
        if (realpath(strLink.c_str(), szResolved) == nullptr || !IsDirectory(szResolved)) {
            // A device link that leads nowhere: the port's device cannot be
            // opened. It is reported, as it may be the unit.
            candidate.failure = PortReadFailure::DeviceKey;
            arrCandidates.push_back(std::move(candidate));
            continue;
        }
        const std::string strInterface = FindUsbInterface(szResolved);
        if (strInterface.empty())
            continue; // not a USB port

        const std::string strPortName = "/dev/" + strName;
        if (strPortName.size() > kMaxPortNameChars) {
            candidate.failure = PortReadFailure::PortName;
            arrCandidates.push_back(std::move(candidate));
            continue;
        }
        candidate.strPortName = FromUtf8(strPortName);

        const std::string strFunction = ParentDir(strInterface);
        const std::string strParent = ParentDir(strFunction);
        candidate.strUsbPath = FromUtf8(BaseName(strFunction));
        std::string strParentVid, strParentPid;
        if (strParent == "/" || !ReadHexId(strParent + "/idVendor", strParentVid)
            || !ReadHexId(strParent + "/idProduct", strParentPid)) {
            candidate.failure = PortReadFailure::Parent;
            arrCandidates.push_back(std::move(candidate));
            continue;
        }
        candidate.strParentInstanceId =
            FromUtf8("USB\\VID_" + strParentVid + "&PID_" + strParentPid + "\\" + BaseName(strParent));

        std::string strVid, strPid, strRev;
        if (!ReadHexId(strFunction + "/idVendor", strVid) || !ReadHexId(strFunction + "/idProduct", strPid)
            || !ReadHexId(strFunction + "/bcdDevice", strRev)) {
            candidate.failure = PortReadFailure::HardwareId;
            arrCandidates.push_back(std::move(candidate));
            continue;
        }
        const std::string strHardwareId = "USB\\VID_" + strVid + "&PID_" + strPid + "&REV_" + strRev;
        candidate.strFirstHardwareId = FromUtf8(strHardwareId);
        // The size the list would take as a double-terminated wide list.
        candidate.nHardwareIdSize = (strHardwareId.size() + 2) * sizeof(char16_t);
        arrCandidates.push_back(std::move(candidate));
    }
    return true;
}

bool PortPresent(const std::wstring& strPortName)
{
    struct stat st { };
    return stat(ToUtf8(strPortName).c_str(), &st) == 0;
}
