// The connection supervisor: while no unit is connected, every tick of the
// one-second timer, and every port the system announces (CPortMonitor), is
// one complete connection attempt (on a thread of its own past discovery, so
// the window stays responsive); the receive thread's end brings the window
// back to searching. A port that is found but does not
// identify itself is tried less often (ConnectBackoff); a port that cannot be
// opened says why in the port box.
#include <mutex>
#include <thread>

#include <wx/app.h>
#include <wx/panel.h>
#include <wx/textctrl.h>
#include <wx/thread.h>

#include "core/Log.h"
#include "core/LogText.h"
#include "app/QVLUtilityDlg.h"
#include "app/Resource.h"
#include "core/TextUtil.h"
#include "link/PortOpenFailure.h"

void CQVLUtilityDlg::OnTimer(wxTimerEvent& event)
{
    // While one of the window's modal dialogs is open (a file dialog, a
    // message box) the form must stay as the user left it: a connection now
    // would refill it under the dialog.
    if (event.GetId() == m_nTimerID && !m_bConnected && m_modalDialogs.Open() == 0)
        ComPortOpenProcess();
    event.Skip();
}

void CQVLUtilityDlg::OnPortArrived(wxThreadEvent& event)
{
    const std::wstring strPort = event.GetString().ToStdWstring();
    LogDebug(logtext::kOnPortArrived, strPort);
    // A port that failed before is a new device now.
    m_backoff.Arrived(strPort);
    // As a tick: an attempt under way reports first, and a dialog's form stays.
    if (!m_bConnected && m_modalDialogs.Open() == 0)
        ComPortOpenProcess();
}

void CQVLUtilityDlg::ShowOpenFailure(const std::wstring& strText)
{
    // The explanation does not fit beside the status: while it shows, the
    // box spans the free width below it, two lines high.
    auto* pPort = static_cast<wxTextCtrl*>(GetDlgItem(IDC_EDIT_PORT));
    const bool bFailure = !strText.empty();
    const wxPoint pos = bFailure ? wxPoint(358, 231) : wxPoint(450, 216);
    const wxSize size = bFailure ? wxSize(160, 20) : wxSize(64, 12);
    pPort->SetSize(wxRect(wxDLG_UNIT(m_pPanel, pos), wxDLG_UNIT(m_pPanel, size)));
    pPort->ChangeValue(bFailure ? L"(" + m_strComPort + L": " + strText + L")" : std::wstring());
}

void CQVLUtilityDlg::ComPortOpenProcess()
{
    if (IsConnecting())
        return; // the attempt under way reports with ID_CONNECT_DONE
    std::wstring strPort;
    if (!GetQvlComPort(strPort)) {
        m_backoff.MayAttempt({}, ConnectBackoff::Clock::now());
        if (!m_strOpenFailure.empty()) {
            m_strOpenFailure.clear();
            ShowOpenFailure(std::wstring());
        }
        return;
    }
    if (!m_backoff.MayAttempt(m_arrComPorts, ConnectBackoff::Clock::now()))
        return;
    m_strComPort = strPort;
    // A port that keeps failing the same way is announced once; its retries
    // go to the debug level.
    const bool bRepeat = !m_strOpenFailure.empty();
    Log(bRepeat ? spdlog::level::debug : spdlog::level::info, logtext::kComPortOpenProcess, m_strComPort);

    {
        std::lock_guard<std::mutex> lock(m_mtxConnect);
        m_bCancelConnect = false;
    }
    m_connectThread = std::thread([this] { ConnectAttempt(); });
}

void CQVLUtilityDlg::ConnectAttempt()
{
    // Runs on its own thread and touches no control: the window learns the
    // outcome from ID_CONNECT_DONE.
    int nOutcome = kConnectDone;
    if (!InitSerial()) {
        nOutcome = kConnectOpenFailed;
    } else {
        bool bStarted = false;
        {
            std::lock_guard<std::mutex> lock(m_mtxConnect);
            if (m_bCancelConnect) {
                nOutcome = kConnectCancelled;
            } else {
                m_bStopRecv = false;
                bStarted = StartRecvThread();
                if (!bStarted)
                    nOutcome = kConnectThreadFailed;
            }
        }
        if (!bStarted) {
            // Nothing reads the port: close it so the next attempt can open it.
            UninitSerial();
        } else if (!QueryQvlVer() || !get_APN_WIFI_info()) {
            // A unit that does not answer its identity or settings queries is
            // not kept half-connected: stopping the receive thread closes the
            // port, and its lost-link notification returns the window to
            // searching.
            StopRecvThread();
            nOutcome = kConnectNoAnswer;
        }
    }
    auto* pEvent = new wxThreadEvent(wxEVT_THREAD, ID_CONNECT_DONE);
    pEvent->SetInt(nOutcome);
    wxQueueEvent(this, pEvent);
}

void CQVLUtilityDlg::CancelConnect()
{
    if (!m_connectThread.joinable())
        return;
    {
        // A receive thread started before this is told to stop, and one not
        // yet started is not started: either way the attempt's wait for the
        // unit ends at once.
        std::lock_guard<std::mutex> lock(m_mtxConnect);
        m_bCancelConnect = true;
        m_bStopRecv = true;
    }
    m_connectThread.join();
}

void CQVLUtilityDlg::OnConnectDone(wxThreadEvent& event)
{
    if (m_connectThread.joinable())
        m_connectThread.join();
    if (wxTheApp && wxTheApp->IsScheduledForDestruction(this))
        return;

    switch (event.GetInt()) {
    case kConnectOpenFailed: {
        // The reason a port did not open, in words a user can act on.
        const std::wstring strText = FromUtf8(ClassifyPortOpenFailure(m_lastFailure).strReason);
        const std::wstring strFailure = m_strComPort + L"\n" + m_lastFailure.strText;
        if (strFailure != m_strOpenFailure) {
            LogError(logtext::kInitSerialFailureAt, m_strComPort, m_lastFailure.strText);
            m_strOpenFailure = strFailure;
        } else {
            LogDebug(logtext::kInitSerialFailure);
        }
        ShowOpenFailure(strText);
        m_backoff.Reset();
        return;
    }
    case kConnectThreadFailed:
        LogError(logtext::kStartRecvThreadFailure);
        break;
    case kConnectNoAnswer:
        m_backoff.Failed(ConnectBackoff::Clock::now());
        break;
    case kConnectDone:
        // Lost again already (its notification is handled, or on its way),
        // or a dialog of the window is up, whose form must stay as the user
        // left it: searching again finds the unit afresh.
        if (!IsRecvThreadRunning() || m_modalDialogs.Open() != 0) {
            StopRecvThread();
            break;
        }
        m_bConnected = true;
        m_backoff.Reset();
        DisplayQvlInfo();
        RefreshForm();
        break;
    default:
        break;
    }
    if (!m_strOpenFailure.empty()) {
        m_strOpenFailure.clear();
        ShowOpenFailure(std::wstring());
    }
}

void CQVLUtilityDlg::OnCloseQvlSerial(wxThreadEvent&)
{
    LogInfo(logtext::kOnCloseQvlSerial);
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
