// Port arrivals from WM_DEVICECHANGE: the system broadcasts a new COM port
// (DBT_DEVICEARRIVAL with a DBT_DEVTYP_PORT header naming it) to every
// top-level window. A console program has none, so the monitor makes one of
// its own: hidden, never shown, on a thread of the monitor's own that pumps
// its messages. (A message-only window would not do: broadcasts skip those.)

#include "link/PortMonitor.h"

#include <windows.h>

#include <dbt.h>

#include <cstddef>
#include <future>
#include <string>
#include <thread>

namespace {

constexpr wchar_t kClassName[] = L"QvlPortMonitorWindow";

class CPortMonitorWin : public CPortMonitor {
public:
    explicit CPortMonitorWin(ArrivalFn fnArrival) : m_fnArrival(std::move(fnArrival)) { }

    ~CPortMonitorWin() override
    {
        if (!m_thread.joinable())
            return;
        PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        m_thread.join();
    }

    bool Open()
    {
        std::promise<HWND> created;
        std::future<HWND> window = created.get_future();
        m_thread = std::thread([this, &created] { Run(created); });
        m_hWnd = window.get();
        if (m_hWnd != nullptr)
            return true;
        m_thread.join();
        return false;
    }

private:
    void Run(std::promise<HWND>& created)
    {
        const HINSTANCE hInstance = GetModuleHandleW(nullptr);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = hInstance;
        wc.lpszClassName = kClassName;
        // A second monitor in the process finds the class registered already.
        if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            created.set_value(nullptr);
            return;
        }
        const HWND hWnd = CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, hInstance, this);
        created.set_value(hWnd);
        if (hWnd == nullptr)
            return;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
    }

    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
    {
        if (nMsg == WM_NCCREATE) {
            const auto* pCreate = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pCreate->lpCreateParams));
        }
        auto* pThis = reinterpret_cast<CPortMonitorWin*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        switch (nMsg) {
        case WM_DEVICECHANGE:
            if (wParam == DBT_DEVICEARRIVAL && lParam != 0 && pThis != nullptr) {
                const auto* pHeader = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
                if (pHeader->dbch_devicetype == DBT_DEVTYP_PORT)
                    pThis->m_fnArrival(PortName(pHeader));
            }
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hWnd, nMsg, wParam, lParam);
        }
    }

    // The name the broadcast carries, read no further than its stated size.
    static std::wstring PortName(const DEV_BROADCAST_HDR* pHeader)
    {
        const auto* pPort = reinterpret_cast<const DEV_BROADCAST_PORT_W*>(pHeader);
        const size_t nOffset = offsetof(DEV_BROADCAST_PORT_W, dbcp_name);
        if (pHeader->dbch_size <= nOffset)
            return {};
        const size_t nMaxChars = (pHeader->dbch_size - nOffset) / sizeof(wchar_t);
        size_t nChars = 0;
        while (nChars < nMaxChars && pPort->dbcp_name[nChars] != L'\0')
            ++nChars;
        return std::wstring(pPort->dbcp_name, nChars);
    }

    ArrivalFn m_fnArrival;
    HWND m_hWnd = nullptr;
    std::thread m_thread;
};

} // namespace

std::unique_ptr<CPortMonitor> StartPlatformPortMonitor(CPortMonitor::ArrivalFn fnArrival)
{
    auto pMonitor = std::make_unique<CPortMonitorWin>(std::move(fnArrival));
    if (!pMonitor->Open())
        return nullptr;
    return pMonitor;
}
