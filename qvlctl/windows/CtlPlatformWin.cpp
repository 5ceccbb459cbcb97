// qvlctl on Windows: a console program; its results are UTF-8 text.
#include "qvlctl/CtlPlatform.h"

#include <atomic>
#include <cstdio>

#include <io.h>
#include <windows.h>

#include <shellapi.h>

#include "core/TextUtil.h"

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
    // A COM port cannot be looked at without opening it: one that is not
    // there fails to open, with its reason.
    return !strPort.empty();
}

namespace {

std::atomic<bool> g_bStopRequested{false};
HANDLE g_hStopEvent = nullptr;
HANDLE g_hWakeEvent = nullptr; // resets itself when a wait ends on it

BOOL WINAPI OnConsoleControl(DWORD)
{
    if (g_bStopRequested.exchange(true))
        return FALSE; // the second one: the system ends the program
    SetEvent(g_hStopEvent);
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
    if (g_hStopEvent == nullptr || g_hWakeEvent == nullptr || !SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
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
    // FILE_APPEND_DATA alone: every write lands at the end of the file.
    const HANDLE h = CreateFileW(strWide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        strError = SystemText(GetLastError());
        return false;
    }
    m_h = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool CAppendFile::AppendWhole(const std::string& strBytes, std::string& strError)
{
    const HANDLE h = reinterpret_cast<HANDLE>(m_h);
    DWORD dwWritten = 0;
    if (!WriteFile(h, strBytes.data(), static_cast<DWORD>(strBytes.size()), &dwWritten, nullptr)) {
        strError = SystemText(GetLastError());
        return false;
    }
    if (dwWritten != strBytes.size()) {
        strError = "only part of the line was written (is the disk full?)";
        return false;
    }
    if (!FlushFileBuffers(h)) {
        strError = SystemText(GetLastError());
        return false;
    }
    return true;
}
