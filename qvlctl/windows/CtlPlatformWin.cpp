// qvlctl on Windows: a console program; its results are UTF-8 text.
#include "qvlctl/CtlPlatform.h"

#include <atomic>
#include <cstdio>

#include <io.h>
#include <windows.h>

#include <shellapi.h>

#include "core/TextUtil.h"
#include "link/PortDiscovery.h"

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    int nWide = 0;
    wchar_t** ppWide = CommandLineToArgvW(GetCommandLineW(), &nWide);
    if (!ppWide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arrArgs;
    for (int i = 0; i < nWide; ++i)
        arrArgs.push_back(ToUtf8(ppWide[i]));
    LocalFree(ppWide);
    return arrArgs;
}

bool PrepareStandardStreams()
{
    // Values from the unit and preset files may hold any character; the
    // console shows them as the UTF-8 they are written in.
    SetConsoleOutputCP(CP_UTF8);
    return true;
}

bool StderrIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

bool CheckPortName(const std::string&, std::string&)
{
    // A port name is no file to look at here; a port that is not there is
    // reported, by the system's reason, when it does not open.
    return true;
}

bool PortIsThere(const std::string& strPort)
{
    // A COM port is there while the system has its device name (it goes
    // when the unit is unplugged); "\\.\COM12" names the same port.
    std::wstring strName = FromUtf8(strPort);
    const std::wstring strDevicePrefix = L"\\\\.\\";
    if (strName.compare(0, strDevicePrefix.size(), strDevicePrefix) == 0)
        strName.erase(0, strDevicePrefix.size());
    return !strName.empty() && PortPresent(strName);
}

namespace {

std::atomic<bool> g_bStopRequested{false};
HANDLE g_hStopEvent = nullptr;
HANDLE g_hWakeEvent = nullptr; // resets itself when a wait ends on it
HANDLE g_hRunFinished = nullptr;

// The longest the system waits for a console being closed, or a session
// ending, before it ends the program itself.
constexpr DWORD kMaxCloseWaitMs = 20000;

BOOL WINAPI OnConsoleControl(DWORD dwType)
{
    if (g_bStopRequested.exchange(true))
        return FALSE; // the second one: the system ends the program
    SetEvent(g_hStopEvent);
    // The system ends the program as soon as this returns for a close, a
    // log-off or a shutdown: wait for the units in progress to finish and be
    // journaled (it ends the program anyway once its time is up).
    if (dwType == CTRL_CLOSE_EVENT || dwType == CTRL_LOGOFF_EVENT || dwType == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(g_hRunFinished, kMaxCloseWaitMs);
    return TRUE;
}

std::string SystemText(DWORD dwError)
{
    char sz[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0, sz,
                                   sizeof sz, nullptr);
    std::string str(sz, n);
    while (!str.empty() && (str.back() == '\r' || str.back() == '\n' || str.back() == ' '))
        str.pop_back();
    return str.empty() ? "error " + std::to_string(dwError) : str;
}

} // namespace

bool InstallStopRequest(std::string& strError)
{
    g_hStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_hWakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_hRunFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_hStopEvent == nullptr || g_hWakeEvent == nullptr || g_hRunFinished == nullptr
        || !SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
        strError = SystemText(GetLastError());
        return false;
    }
    return true;
}

bool StopRequested()
{
    return g_bStopRequested;
}

void WaitForStopRequest(int nMs)
{
    const HANDLE events[] = {g_hStopEvent, g_hWakeEvent};
    WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(nMs));
}

void WakeStopWait()
{
    SetEvent(g_hWakeEvent);
}

void RunFinished()
{
    if (g_hRunFinished != nullptr)
        SetEvent(g_hRunFinished);
}

std::thread StartWorker(std::function<void()> fn)
{
    // Console control events reach a thread of their own, never a worker.
    return std::thread(std::move(fn));
}

std::string HostName()
{
    char sz[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD n = sizeof sz;
    return GetComputerNameA(sz, &n) ? std::string(sz, n) : std::string();
}

std::tm UtcTime(std::time_t t)
{
    std::tm tm{};
    gmtime_s(&tm, &t);
    return tm;
}

CAppendFile::~CAppendFile()
{
    if (m_h != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_h));
}

bool CAppendFile::Open(const std::string& strPath, std::string& strError)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, strPath.c_str(), -1, nullptr, 0);
    std::wstring strWide(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, strPath.c_str(), -1, &strWide[0], n);
    // Read access for the file's last byte, write access to cut a failed
    // line off again; every line is written at the end, under the lock.
    const HANDLE h = CreateFileW(strWide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        strError = SystemText(GetLastError());
        return false;
    }
    // A console, a pipe or a device is no journal.
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(h);
        strError = "not a regular file";
        return false;
    }
    m_h = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool CAppendFile::AppendLine(const std::string& strLine, std::string& strError)
{
    const HANDLE h = reinterpret_cast<HANDLE>(m_h);
    // Another process appending the same way waits meanwhile.
    OVERLAPPED whole{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        strError = SystemText(GetLastError());
        return false;
    }
    struct Unlock {
        HANDLE h;
        ~Unlock()
        {
            OVERLAPPED whole{};
            UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &whole);
        }
    } unlock{h};

    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) {
        strError = SystemText(GetLastError());
        return false;
    }
    auto at = [](LONGLONG nOffset) {
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(nOffset & 0xFFFFFFFF);
        ov.OffsetHigh = static_cast<DWORD>(nOffset >> 32);
        return ov;
    };
    std::string strBytes;
    // A file cut by something else: this line starts on a line of its own.
    if (size.QuadPart > 0) {
        char cLast = '\n';
        DWORD dwRead = 0;
        OVERLAPPED ov = at(size.QuadPart - 1);
        if (!ReadFile(h, &cLast, 1, &dwRead, &ov) || dwRead != 1) {
            strError = SystemText(GetLastError());
            return false;
        }
        if (cLast != '\n')
            strBytes = "\n";
    }
    strBytes += strLine + "\n";

    // One write at the end; what a failed or short write left is cut off
    // again, so the file never holds half a line.
    DWORD dwWritten = 0;
    OVERLAPPED ov = at(size.QuadPart);
    const BOOL bWritten = WriteFile(h, strBytes.data(), static_cast<DWORD>(strBytes.size()), &dwWritten, &ov);
    const DWORD dwError = GetLastError();
    if (!bWritten || dwWritten != strBytes.size() || !FlushFileBuffers(h)) {
        strError = bWritten && dwWritten != strBytes.size()
            ? "only part of the line could be written (is the disk full?)"
            : SystemText(bWritten ? GetLastError() : dwError);
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile = size;
        if (SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end))
            FlushFileBuffers(h);
        return false;
    }
    return true;
}
