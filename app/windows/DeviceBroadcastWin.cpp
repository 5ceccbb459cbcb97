// The system's WM_DEVICECHANGE broadcasts to the main window, on Windows. A
// port's arrival reaches the supervisor through the port monitor's own hidden
// window (link/PortMonitor.h), which a console program has as well; a removed
// unit is noticed by the receive thread when its read fails. Here a completed
// removal is only traced in the debug log.
#include <wx/module.h>
#include <wx/window.h>

#include "core/Log.h"
#include "core/LogText.h"

#include <wx/msw/wrapwin.h>

#include <dbt.h>

namespace {

bool OnDeviceChange(wxWindowMSW* /*pWindow*/, WXUINT /*nMsg*/, WXWPARAM wParam, WXLPARAM /*lParam*/)
{
    if (wParam == DBT_DEVICEREMOVECOMPLETE)
        LogDebug(logtext::kDeviceRemoveComplete);
    // Left to the default window procedure, which grants every request.
    return false;
}

// Registered while wx runs; wx starts and stops its modules itself.
class DeviceBroadcastModule : public wxModule {
public:
    bool OnInit() override { return wxWindow::MSWRegisterMessageHandler(WM_DEVICECHANGE, OnDeviceChange); }
    void OnExit() override { wxWindow::MSWUnregisterMessageHandler(WM_DEVICECHANGE, OnDeviceChange); }

private:
    wxDECLARE_DYNAMIC_CLASS(DeviceBroadcastModule);
};

wxIMPLEMENT_DYNAMIC_CLASS(DeviceBroadcastModule, wxModule);

} // namespace
