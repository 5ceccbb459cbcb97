// The connection supervisor: while no unit is connected, every tick of the
// one-second timer is one complete connection attempt; the receive thread's
// end brings the window back to searching. A port that is found but does not
// identify itself is tried less often (ConnectBackoff); a port that cannot be
// opened says why in the port box.
#include <cerrno>

#include <wx/app.h>
#include <wx/panel.h>
#include <wx/textctrl.h>
#include <wx/thread.h>

#include <spdlog/spdlog.h>

#include "app/QVLUtilityDlg.h"
#include "app/Resource.h"
#include "app/TextUtil.h"
#include "link/SerialIo.h"

namespace {

// The reason a port did not open, in words a user can act on.
std::wstring OpenFailureText(const std::wstring& strSystemText)
{
    if (strSystemText == FromUtf8(SerialErrorText(EACCES)) || strSystemText == FromUtf8(SerialErrorText(EPERM)))
        return L"permission denied; see README, 'Access to the unit'";
    if (strSystemText == FromUtf8(SerialErrorText(EBUSY)))
        return L"in use by another program";
    return strSystemText;
}

} // namespace

void CQVLUtilityDlg::OnTimer(wxTimerEvent& event)
{
    // While one of the window's modal dialogs is open (a file dialog, a
    // message box) the form must stay as the user left it: a connection now
    // would refill it under the dialog.
    if (event.GetId() == m_nTimerID && !m_bConnected && m_modalDialogs.Open() == 0)
        ComPortOpenProcess();
    event.Skip();
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
    constexpr const char* kName = "CQVLUtilityDlg::ComPortOpenProcess";

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
    spdlog::log(bRepeat ? spdlog::level::debug : spdlog::level::info, "{} [{}]", kName, ToUtf8(m_strComPort));

    if (!InitSerial()) {
        const std::wstring strText = OpenFailureText(m_strLastError);
        const std::wstring strFailure = m_strComPort + L"\n" + m_strLastError;
        if (strFailure != m_strOpenFailure) {
            spdlog::error("InitSerial Failure. {}: {}", ToUtf8(m_strComPort), ToUtf8(m_strLastError));
            m_strOpenFailure = strFailure;
        } else {
            spdlog::debug("InitSerial Failure.");
        }
        ShowOpenFailure(strText);
        m_backoff.Reset();
        return;
    }
    if (!m_strOpenFailure.empty()) {
        m_strOpenFailure.clear();
        ShowOpenFailure(std::wstring());
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
    std::wstring strErr;
    if (!QueryQvlVer() || !get_APN_WIFI_info(strErr)) {
        StopRecvThread();
        m_backoff.Failed(ConnectBackoff::Clock::now());
        return;
    }

    m_backoff.Reset();
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
