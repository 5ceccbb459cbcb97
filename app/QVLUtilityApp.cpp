// The application object: one copy per user, the main window, and the end of
// the process when that window closes.
#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/snglinst.h>

#include <spdlog/spdlog.h>

#include "app/InstanceGuard.h"
#include "app/Logging.h"
#include "app/QVLUtilityDlg.h"
#include "app/TextUtil.h"

namespace {

// The whole command line as the process received it, before the toolkit takes
// its own options out of it; the log level is chosen from it.
std::string g_strCommandLine;

} // namespace

class CQVLUtilityApp : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;

private:
    // Options of our own; everything else on the line is left alone (it may
    // hold --log=DEBUG, which the logging set-up reads from the whole line).
    void ParseOptions();

    std::unique_ptr<wxSingleInstanceChecker> m_pInstanceGuard;
    std::wstring m_strPortOverride;   // --port=PATH
    bool m_bSimulate = false;         // --simulate
};

void CQVLUtilityApp::ParseOptions()
{
    for (int i = 1; i < argc; ++i) {
        const std::wstring strArg = argv[i].ToStdWstring();
        if (strArg.rfind(L"--port=", 0) == 0)
            m_strPortOverride = strArg.substr(7);
        else if (strArg == L"--simulate")
            m_bSimulate = true;
    }
}

bool CQVLUtilityApp::OnInit()
{
    SetAppName("qvl-utility");
    SetAppDisplayName("Orra QVL Utility");
    ParseOptions();

    m_pInstanceGuard = std::make_unique<wxSingleInstanceChecker>();
    if (!AcquireInstanceGuard(*m_pInstanceGuard)) {
        m_pInstanceGuard.reset();
        return false;
    }

    auto* pDlg = new CQVLUtilityDlg();
    SetTopWindow(pDlg);
    if (!m_strPortOverride.empty())
        pDlg->SetPortOverride(m_strPortOverride);

    // --simulate: HOOK for the virtual unit. Start a sim/VirtualUnit here,
    // keep it for the life of the window and point the port override at its
    // PortPath(). Until then the flag is parsed and kept only.
    (void)m_bSimulate;

    pDlg->OnInitDialog(g_strCommandLine);
    pDlg->Show();
    return true;
}

int CQVLUtilityApp::OnExit()
{
    m_pInstanceGuard.reset();     // releases the guard
    spdlog::shutdown();           // flushes and closes the log
    return wxApp::OnExit();
}

wxIMPLEMENT_APP_NO_MAIN(CQVLUtilityApp);

int main(int argc, char** argv)
{
    g_strCommandLine = JoinCommandLine(argc, argv);
    return wxEntry(argc, argv);
}
