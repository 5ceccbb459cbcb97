// The application object: one copy per user, the main window, and the end of
// the process when that window closes.
#include <cstdio>
#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/snglinst.h>

#include <spdlog/spdlog.h>

#include "app/InstanceGuard.h"
#include "app/Logging.h"
#include "app/QVLUtilityDlg.h"
#include "app/TextUtil.h"
#include "sim/VirtualUnit.h"

namespace {

// The whole command line as the process received it, before the toolkit takes
// its own options out of it; the log level is chosen from it.
std::string g_strCommandLine;

// What the virtual unit of --simulate holds: a plausible set of operator
// profiles and a home Wi-Fi, every value one the form accepts.
UnitSettings DemoUnitSettings()
{
    UnitSettings s;
    s.wwan[0] = {L"internet", L"", L"", L"2", L"0"};
    s.wwan[1] = {L"internet.telekom", L"telekom", L"tm", L"0", L"2"};
    s.wwan[2] = {L"web.vodafone.de", L"", L"", L"0", L"0"};
    s.wwan[3] = {L"m2m.fleet.example", L"qvl-fleet", L"Fl33t-2024", L"1", L"1"};
    s.wifi = {L"QVL-Demo", L"1", L"0", L"correct-horse-battery"};
    return s;
}

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
    std::unique_ptr<VirtualUnit> m_pSimUnit;   // the unit --simulate talks to; outlives the window
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

    // --simulate: a virtual unit inside this process, found through the port
    // override in place of a real one.
    if (m_bSimulate) {
        VirtualUnitOptions options;
        options.settings = DemoUnitSettings();
        m_pSimUnit = std::make_unique<VirtualUnit>(options);
        std::string strError;
        if (m_pSimUnit->Start(&strError)) {
            pDlg->SetPortOverride(FromUtf8(m_pSimUnit->PortPath()));
        } else {
            std::fprintf(stderr, "qvl-utility: cannot start the virtual unit: %s\n", strError.c_str());
            m_pSimUnit.reset();
        }
    }

    pDlg->OnInitDialog(g_strCommandLine);
    pDlg->Show();
    return true;
}

int CQVLUtilityApp::OnExit()
{
    m_pSimUnit.reset();           // the window is gone: nothing uses the unit now
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
