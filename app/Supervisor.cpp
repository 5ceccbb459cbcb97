// The connection supervisor: while no unit is connected, every tick of the
// one-second timer is one complete connection attempt; the receive thread's
// end brings the window back to searching.
#include <wx/app.h>
#include <wx/thread.h>

#include <spdlog/spdlog.h>

#include "app/QVLUtilityDlg.h"
#include "app/Resource.h"
#include "app/TextUtil.h"

void CQVLUtilityDlg::OnTimer(wxTimerEvent& event)
{
    if (event.GetId() == m_nTimerID && !m_bConnected)
        ComPortOpenProcess();
    event.Skip();
}

void CQVLUtilityDlg::ComPortOpenProcess()
{
    constexpr const char* kName = "CQVLUtilityDlg::ComPortOpenProcess";

    std::wstring strPort;
    if (!GetQvlComPort(strPort))
        return;
    m_strComPort = strPort;
    spdlog::info("{} [{}]", kName, ToUtf8(m_strComPort));

    if (!InitSerial()) {
        spdlog::error("InitSerial Failure.");
        return;
    }

    m_bStopRecv = false;
    if (!StartRecvThread()) {
        spdlog::error("StartRecvThread Failure.");
        // Nothing reads the port: close it so the next attempt can open it.
        UninitSerial();
        return;
    }

    m_bConnected = true;

    // A unit that does not answer its identity or settings queries is not
    // kept half-connected: stopping the receive thread closes the port, and
    // its lost-link notification returns the window to searching.
    if (!QueryQvlVer()) {
        StopRecvThread();
        return;
    }
    std::wstring strErr;
    if (!get_APN_WIFI_info(strErr)) {
        StopRecvThread();
        return;
    }

    DisplayQvlInfo();
    RefreshForm();
}

void CQVLUtilityDlg::OnCloseQvlSerial(wxThreadEvent&)
{
    spdlog::info("{}", "CQVLUtilityDlg::OnCloseQvlSerial");
    m_bConnected = false;
    // Closing the window stops the receive thread, whose notification then
    // reaches a window that is on its way out: nothing left to show.
    if (wxTheApp && wxTheApp->IsScheduledForDestruction(this))
        return;
    DisplayQvlInfo();
}

void CQVLUtilityDlg::PostCloseQvlSerial()
{
    // Runs on the receive thread: the window handles the notification on its
    // own thread, after whatever it is doing now.
    wxQueueEvent(this, new wxThreadEvent(wxEVT_THREAD, ID_CLOSE_QVL_SERIAL));
}
