// The application object: one copy per user, the main window, and the end of
// the process when that window closes.
#include <cstdio>
#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/snglinst.h>

#include <spdlog/spdlog.h>

#include "app/CommandLineOutput.h"
#include "app/InstanceGuard.h"
#include "core/Logging.h"
#include "app/QVLUtilityDlg.h"
#include "core/TextUtil.h"
#include "sim/VirtualUnit.h"

namespace {

// The whole command line as the process received it, before the toolkit takes
// its own options out of it; the log level is chosen from it.
std::string g_strCommandLine;

const char* kUsage =
    "Usage: qvl-utility [options]\n"
    "Configures a QVL unit attached over USB: finds the unit by itself, reads its\n"
    "WWAN profiles and Wi-Fi settings into the window, and writes, erases, loads\n"
    "and saves them.\n"
    "\n"
    "Options:\n"
    "  --port=PATH   use the serial device at PATH instead of searching for the unit\n"
    "  --simulate    start a virtual unit inside the utility and connect to it\n"
    "  --log=DEBUG   add the detailed trace to the log\n"
    "  -h, --help    show this text and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "The log Orra_QVL_Utility_log.txt is written to the current directory.\n";

// What the command line asks for. Read in main(), before the toolkit starts,
// so that --help, --version and a mistyped option need no display.
struct CommandLineOptions {
    std::string strPort;    // --port=PATH, as given
    bool bSimulate = false; // --simulate
};
CommandLineOptions g_options;

// Reads the options; returns -1 to go on, or the exit code to end with.
int ParseCommandLine(int argc, char** argv, CommandLineOptions& options)
{
    auto fail = [](const std::string& strWhy) {
        ShowCommandLineText("qvl-utility: " + strWhy + "\n" + kUsage, true);
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string strArg = argv[i];
        if (strArg == "--help" || strArg == "-h") {
            ShowCommandLineText(kUsage, false);
            return 0;
        }
        if (strArg == "--version") {
            ShowCommandLineText(std::string("qvl-utility ") + kVersionText + "\n", false);
            return 0;
        }
        if (strArg.rfind("--port=", 0) == 0) {
            if (strArg.size() == 7)
                return fail("--port= needs a path");
            options.strPort = strArg.substr(7);
        } else if (strArg == "--simulate") {
            options.bSimulate = true;
        } else if (IsDebugLogRequested(strArg)) {
            // --log=DEBUG (also inside a longer argument): read by the
            // logging set-up from the whole line
        } else if (strArg == "--port") {
            return fail("--port needs a path: --port=PATH");
        } else {
            return fail("unknown option '" + strArg + "'");
        }
    }
    return -1;
}

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
    std::unique_ptr<wxSingleInstanceChecker> m_pInstanceGuard;
    std::unique_ptr<VirtualUnit> m_pSimUnit; // the unit --simulate talks to; outlives the window
};

bool CQVLUtilityApp::OnInit()
{
    SetAppName("qvl-utility");
    SetAppDisplayName("Orra QVL Utility");

    m_pInstanceGuard = std::make_unique<wxSingleInstanceChecker>();
    if (!AcquireInstanceGuard(*m_pInstanceGuard)) {
        m_pInstanceGuard.reset();
        return false;
    }

    auto* pDlg = new CQVLUtilityDlg();
    SetTopWindow(pDlg);
    // The path converts as the toolkit converts every argument: by the locale.
    if (!g_options.strPort.empty())
        pDlg->SetPortOverride(wxString(g_options.strPort).ToStdWstring());

    // --simulate: a virtual unit inside this process, found through the port
    // override in place of a real one.
    if (g_options.bSimulate) {
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
    m_pSimUnit.reset();       // the window is gone: nothing uses the unit now
    m_pInstanceGuard.reset(); // releases the guard
    spdlog::shutdown();       // flushes and closes the log
    return wxApp::OnExit();
}

wxIMPLEMENT_APP_NO_MAIN(CQVLUtilityApp);

int main(int argc, char** argv)
{
    const int nExit = ParseCommandLine(argc, argv, g_options);
    if (nExit >= 0)
        return nExit;
    g_strCommandLine = JoinCommandLine(argc, argv);
    return wxEntry(argc, argv);
}
