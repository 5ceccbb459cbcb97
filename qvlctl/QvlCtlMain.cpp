// qvlctl: the unit's settings from a script. Lists the attached units, reads
// their identity and settings, writes single fields or preset files with
// read-back, and erases, on one unit or on every attached unit at once.
// Results go to stdout, one-line errors to stderr; the exit status says what
// failed (see CtlExit).
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <spdlog/spdlog.h>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/Logging.h"
#include "qvlctl/CtlCommands.h"
#include "qvlctl/CtlOptions.h"
#include "qvlctl/CtlOutput.h"
#include "qvlctl/CtlPlan.h"
#include "qvlctl/CtlPlatform.h"
#include "qvlctl/CtlProvision.h"
#include "qvlctl/CtlUnit.h"
#include "qvlctl/JournalSummary.h"

using namespace qvlctl;

namespace {

// What a command needs before it runs. The runner sets it up in this order
// and stops at the first refusal, which it reports; the command runs only
// when everything it needs is there.
enum CommandNeeds : unsigned {
    kStopRequest = 1u << 0, // Ctrl+C, SIGTERM, a hang-up: end once the units under way are done (twice: at once)
    kNamedPorts = 1u << 1,  // the ports named with --port are there (a watch waits for them instead)
    kConfirmed = 1u << 2,   // --yes or --dry-run: it clears the unit
    kJsonForAll = 1u << 3,  // --all only with --json
    kAssignments = 1u << 4, // the KEY=VALUE arguments, checked
    kPreset = 1u << 5,      // the preset file, read and checked
    kUnits = 1u << 6,       // the units it runs on, chosen
};

// What the runner set up for a command.
struct Ready {
    std::vector<Assignment> assignments;
    std::vector<std::string> arrPorts;
};

struct Command {
    const char* pszName;
    int (*pfnRun)(const Options& o, const Ready& ready);
    unsigned nNeeds;
};

int RunOnChosenUnits(const Options& o, const Ready& ready)
{
    return RunOnUnits(o, ready.assignments, ready.arrPorts);
}

const Command kCommands[] = {
    {"list", [](const Options& o, const Ready&) { return RunList(o); }, kNamedPorts},
    {"info", RunOnChosenUnits, kUnits},
    {"get", RunOnChosenUnits, kJsonForAll | kUnits},
    {"set", RunOnChosenUnits, kAssignments | kUnits},
    {"write", RunOnChosenUnits, kPreset | kUnits},
    {"erase", RunOnChosenUnits, kConfirmed | kUnits},
    {"provision", [](const Options& o, const Ready&) { return RunProvision(o); }, kStopRequest | kNamedPorts},
    {"journal",
     [](const Options& o, const Ready&) {
         std::string strOut;
         const int nExit = RunJournalSummary(o.arrJournals, o.bJson, strOut);
         Out(strOut);
         return nExit;
     },
     0},
};

int RunCommand(const Options& o)
{
    const auto pCommand = std::find_if(std::begin(kCommands), std::end(kCommands),
                                       [&o](const Command& c) { return o.strCommand == c.pszName; });
    if (pCommand == std::end(kCommands)) {
        ReportError({kExitUsage, "unknown command " + o.strCommand, ""}, o.bJson);
        return kExitUsage;
    }
    CtlError err;
    Ready ready;
    auto needs = [&](unsigned nNeed) { return (pCommand->nNeeds & nNeed) != 0 && err.nExit == kExitOk; };
    if (needs(kStopRequest)) {
        std::string strStopError;
        if (!InstallStopRequest(strStopError))
            err = {kExitUnit, "cannot set up the stop signal: " + strStopError, ""};
    }
    if (needs(kNamedPorts) && !o.bWatch)
        CheckNamedPorts(o, err);
    if (needs(kConfirmed) && !o.bYes && !o.bDryRun)
        err = {kExitUsage, "erase clears every setting of the unit: confirm with --yes", ""};
    if (needs(kJsonForAll) && o.bAll && !o.bJson)
        err = {kExitUsage, "get --all gives one line per unit: add --json", ""};
    if (needs(kAssignments))
        PlanAssignments(o, ready.assignments, err);
    if (needs(kPreset))
        PlanPreset(o, ready.assignments, err);
    if (needs(kUnits))
        SelectPorts(o, ready.arrPorts, err);
    if (err.nExit != kExitOk) {
        ReportError(err, o.bJson);
        return err.nExit;
    }
    return pCommand->pfnRun(o, ready);
}

bool ArgsHave(int argc, char** argv, const char* pszArg)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == pszArg)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arrArgs = ProgramArguments(argc, argv);
    std::vector<char*> arrArgv;
    for (std::string& strArg : arrArgs)
        arrArgv.push_back(strArg.data());
    arrArgv.push_back(nullptr);
    argc = static_cast<int>(arrArgs.size());
    argv = arrArgv.data();

    // A result that cannot be written is an error, never a silent success.
    if (!PrepareStandardStreams()) {
        std::fputs("qvlctl: standard output is closed: the result could not be written\n", stderr);
        return kExitOutput;
    }

    Options o;
    CLI::App app{"Reads and writes the settings of QVL units attached by USB.", "qvlctl"};
    app.set_version_flag("--version", std::string("qvlctl ") + kVersionText);
    app.require_subcommand(1, 1);
    app.fallthrough();
    app.footer(
        "Exit status: 0 success: every unit holds exactly what was asked (read back and compared) and the\n"
        "result reached standard output; 1 the unit refused or did not answer, or read-back differed; 2 usage\n"
        "error; 3 no unit found, or its port does not exist or cannot be opened; 4 a value is invalid (nothing\n"
        "was sent to any unit); 5 the preset file cannot be read, is cut or too large, or has no usable\n"
        "section; 6 the result could not be written to standard output (closed, full or gone).");

    app.add_option("--port", o.arrPorts, "Use the unit on this serial port (repeatable; skips the search)")
        ->type_name("PATH")
        ->allow_extra_args(false);
    app.add_option("--serial", o.strSerial, "Use the attached unit with this serial number")->type_name("NUMBER");
    app.add_flag("--all", o.bAll, "Run on every attached unit at once, one result line each in port order");
    app.add_flag("--json", o.bJson, "Results and errors as JSON on stdout");
    app.add_flag("--show-secrets", o.bShowSecrets, "Show passwords and the passphrase in --dry-run lines");
    app.add_option("--log", o.strLog, "--log=DEBUG also logs the traffic with the unit")
        ->type_name("DEBUG")
        ->check(CLI::IsMember({"DEBUG"}).description(""));

    CLI::App* pList = app.add_subcommand("list", "List the attached units: port and USB path");
    pList->add_flag("--probe", o.bProbe, "Also ask each unit for its firmware version, MCU ID and serial number");
    app.add_subcommand("info", "Show the unit's firmware version, MCU ID and serial number");
    app.add_subcommand("get", "Print all settings as a *.all preset (with --json: one JSON document)");
    CLI::App* pSet = app.add_subcommand("set", "Change single settings, e.g. wwan1.apn=internet wifi.security=1");
    pSet->add_option("KEY=VALUE", o.arrAssignments,
                     "Keys: wwanN.apn, wwanN.username, wwanN.password, wwanN.authtype (0 none, 1 CHAP, 2 PAP),\n"
                     "wwanN.pdptype (0 IPV4, 1 IPV6, 2 IPV4V6) for N = 1..4; wifi.ssid, wifi.passphrase,\n"
                     "wifi.security (0 none, 1 WPA2-PSK (AES)), wifi.pwtype (0 ASCII, 1 HEX)")
        ->required();
    pSet->add_flag("--dry-run", o.bDryRun, "Print the lines that would be sent; send nothing");
    CLI::App* pWrite =
        app.add_subcommand("write", "Write a preset file (*.all, *.wwan with --group, *.wifi) and read it back");
    pWrite->add_option("FILE", o.strFile, "The preset file")->required();
    pWrite->add_option("--group", o.nGroup, "The WWAN profile a *.wwan preset goes to")->check(CLI::Range(1, 4));
    pWrite->add_flag("--dry-run", o.bDryRun, "Print the lines that would be sent; send nothing");
    CLI::App* pErase = app.add_subcommand("erase", "Erase the unit's settings and print what it then holds");
    pErase->add_flag("--yes", o.bYes, "Confirm the erase");
    pErase->add_flag("--dry-run", o.bDryRun, "Print the line that would be sent; send nothing");

    CLI::App* pProvision = app.add_subcommand(
        "provision", "Write a preset to every attached unit at once (read back as write), one line per unit");
    pProvision->add_option("FILE", o.strFile, "The preset file")->required();
    pProvision->add_option("--group", o.nGroup, "The WWAN profile a *.wwan preset goes to")->check(CLI::Range(1, 4));
    pProvision->add_flag("--watch", o.bWatch,
                         "Keep running: provision each unit that appears, once; Ctrl+C ends with a summary");
    pProvision->add_flag("--again", o.bAgain, "Provision a unit that comes back again (with --watch)");
    pProvision
        ->add_option("--values", o.strValues,
                     "Per-unit values: CSV with a header serial,KEY,... (keys as for set); "
                     "a blank cell keeps the preset's value")
        ->type_name("FILE.csv");
    pProvision->add_flag("--values-optional", o.bValuesOptional,
                         "Provision a unit without a row with the preset alone");
    pProvision->add_option("--journal", o.strJournal, "Append one JSON line per unit to FILE (no secrets)")
        ->type_name("FILE");
    CLI::App* pJournal = app.add_subcommand("journal", "Read provisioning journals");
    pJournal->require_subcommand(1, 1);
    pJournal
        ->add_subcommand("summary",
                         "One table for the line from provision --journal files: units per station,\n"
                         "provisioned, failed and skipped, failures by reason, presets by SHA-256")
        ->add_option("FILE", o.arrJournals, "The journals (of one station or several)")
        ->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return FinishOutput(app.exit(e));
    } catch (const CLI::CallForAllHelp& e) {
        return FinishOutput(app.exit(e));
    } catch (const CLI::CallForVersion&) {
        Out(std::string("qvlctl ") + kVersionText + "\n");
        return FinishOutput(kExitOk);
    } catch (const CLI::ParseError& e) {
        // An argument nothing took is named first: it is usually the cause.
        std::string strMessage = e.what();
        const std::vector<std::string> arrExtras = app.remaining(true);
        if (!arrExtras.empty())
            strMessage = (arrExtras[0].rfind('-', 0) == 0 ? "unknown option " : "unexpected argument ") + arrExtras[0];
        ReportError({kExitUsage, strMessage, ""}, ArgsHave(argc, argv, "--json"));
        std::fputs(
            "Usage: qvlctl [OPTIONS] list|info|get|set|write|erase|provision|journal ... (qvlctl --help tells more)\n",
            stderr);
        return FinishOutput(kExitUsage);
    }
    o.strCommand = app.get_subcommands().front()->get_name();
    if (o.bAll && !o.strSerial.empty()) {
        ReportError({kExitUsage, "--all and --serial exclude each other", ""}, o.bJson);
        return FinishOutput(kExitUsage);
    }

    SetupLogging(JoinCommandLine(argc, argv));
    const int nExit = FinishOutput(RunCommand(o));
    if (nExit == kExitOutput)
        LogError(logtext::kCtlOutputFailed);
    spdlog::shutdown();
    return nExit;
}
