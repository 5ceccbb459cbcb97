#include "qvlctl/CtlProvision.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/TextUtil.h"
#include "link/PortMonitor.h"
#include "presets/FileAccess.h"
#include "presets/IniFile.h"
#include "qvlctl/CtlCommands.h"
#include "qvlctl/CtlFields.h"
#include "qvlctl/CtlOutput.h"
#include "qvlctl/CtlPlan.h"
#include "qvlctl/CtlPlatform.h"
#include "qvlctl/CtlUnit.h"
#include "qvlctl/Provision.h"
#include "qvlctl/Sha256.h"

namespace qvlctl {

namespace {

// Everything a provisioning run decides before it touches a unit.
struct ProvisionPlan {
    std::vector<Assignment> preset;
    std::string strPresetSha256;
    bool bValues = false;
    std::string strValuesSha256;
    std::map<std::string, UnitValues> rows;
    CJournal journal;
    std::string strHost;

    // The serial numbers provisioned in this run, and the outcome counts.
    std::mutex mtx;
    std::set<std::string> done;
    size_t nProvisioned = 0, nFailed = 0, nRefused = 0, nSkipped = 0, nNotJournaled = 0;
    int nFirstExit = kExitOk;
};

// The journal's line format. It goes up when a field is removed or renamed,
// or its meaning changes; a field added leaves it as it is.
constexpr int kJournalFormat = 2;

// Reads the preset and the values file, checks every row merged with the
// preset, opens the journal. False with err when any of it fails: then no
// unit has been touched.
bool PlanProvision(const Options& o, ProvisionPlan& plan, CtlError& err)
{
    std::string strBytes;
    if (!PlanPreset(o, plan.preset, err, &strBytes))
        return false;
    plan.strPresetSha256 = Sha256Hex(strBytes);

    if (!o.strValues.empty()) {
        plan.bValues = true;
        std::string strCsv;
        bool bCut = false;
        if (const Status read = ReadRegularFile(o.strValues, CIniFile::kMaxFileBytes, strCsv, bCut); !read) {
            err = {kExitPreset, o.strValues + ": " + ToUtf8(read.Text()), ""};
            return false;
        }
        if (bCut) {
            err = {kExitPreset, o.strValues + ": larger than the 4 MiB a values file may have", ""};
            return false;
        }
        if (!ParseValuesCsv(o.strValues, strCsv, plan.rows, err))
            return false;
        plan.strValuesSha256 = Sha256Hex(strCsv);
        // Each row with the preset, by the window's rules; the row's line is
        // named, never its values.
        for (const auto& [strSerial, row] : plan.rows) {
            std::vector<Assignment> merged = plan.preset;
            for (const auto& [pField, strValue] : row.values)
                merged.push_back({pField, strValue});
            CtlError rowErr;
            if (!CheckGivenValues(merged, rowErr)) {
                err = {kExitInvalid,
                       o.strValues + " row " + std::to_string(row.nRow) + " (serial " + Printable(strSerial)
                           + "): " + (rowErr.strField.empty() ? "" : rowErr.strField + ": ") + rowErr.strMessage,
                       rowErr.strField};
                return false;
            }
        }
    }
    if (!o.strJournal.empty()) {
        std::string strError;
        if (!plan.journal.Open(o.strJournal, strError)) {
            err = {kExitOutput, "cannot open the journal " + o.strJournal + ": " + strError, ""};
            return false;
        }
    }
    plan.strHost = HostName();
    return true;
}

// How often --watch looks for units that appeared.
constexpr int kWatchScanMs = 250;
// How often a watch tries to open a port that has just appeared (about 2 s).
constexpr int kOpenTries = 8;

// Provisions one unit and records it: its line on stdout, its journal entry.
void ProvisionUnit(const Options& o, ProvisionPlan& plan, const FoundPort& port)
{
    const auto start = std::chrono::steady_clock::now();
    json entry = {{"format", kJournalFormat},
                  {"time", UtcNowText()},
                  {"host", plan.strHost},
                  {"port", port.strPort},
                  {"usb_path", port.strUsbPath},
                  {"serial", nullptr},
                  {"mcuid", nullptr},
                  {"firmware", nullptr},
                  {"preset", o.strFile},
                  {"preset_sha256", plan.strPresetSha256},
                  {"values", plan.bValues ? json(o.strValues) : json(nullptr)},
                  {"values_sha256", plan.bValues ? json(plan.strValuesSha256) : json(nullptr)},
                  {"values_row", nullptr},
                  {"changed", json::array()},
                  {"result", "failed"},
                  {"error", nullptr},
                  {"duration_ms", 0}};
    CtlError err;
    std::string strWho = port.strPort;
    std::string strSerial;
    std::string strResult = "failed";
    [&] {
        CCtlUnit unit(port.strPort);
        // A port that has just appeared may not be usable yet (the system
        // still setting its access rights): a watch tries it for a while.
        for (int nTry = 1; !unit.Open(err); ++nTry) {
            if (!o.bWatch || err.nExit != kExitNoUnit || nTry >= kOpenTries || !PortIsThere(port.strPort))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(kWatchScanMs));
            err = CtlError{};
        }
        const CtlIdentity& id = unit.Identity();
        strSerial = id.strSerial;
        entry["serial"] = id.strSerial;
        entry["mcuid"] = id.strMcuId;
        entry["firmware"] = id.strVersion;
        strWho += " " + (id.strSerial.empty() ? std::string("-") : Printable(id.strSerial));
        // A unit is known by the serial number it reports: one that reports
        // none cannot be told from the next one, nor traced by the journal.
        if (strSerial.empty()) {
            strResult = "refused";
            err = {kExitUnit, "the unit reported no serial number, so it cannot be traced: nothing was sent to it", ""};
            return;
        }
        {
            std::lock_guard<std::mutex> lock(plan.mtx);
            if (!o.bAgain && plan.done.count(strSerial) != 0) {
                strResult = "skipped";
                return;
            }
        }
        const auto row = plan.rows.find(strSerial);
        if (plan.bValues && row == plan.rows.end() && !o.bValuesOptional) {
            strResult = "refused";
            err = {kExitInvalid,
                   "no row for serial number " + Printable(strSerial) + " in " + o.strValues
                       + ": nothing was sent to it",
                   ""};
            return;
        }
        if (row != plan.rows.end())
            entry["values_row"] = row->second.nRow;
        UnitSettings current;
        if (!unit.ReadSettings(current, err))
            return;
        UnitSettings wanted = current;
        for (const Assignment& a : plan.preset)
            a.pField->In(wanted) = a.strValue;
        if (row != plan.rows.end()) {
            for (const auto& [pField, strValue] : row->second.values)
                pField->In(wanted) = strValue;
        }
        if (!ValidateSettings(wanted, err) || !CheckSendable(wanted, err))
            return;
        for (const CtlField& field : CtlFields()) {
            if (field.In(current) != field.In(wanted))
                entry["changed"].push_back(field.strName);
        }
        if (!unit.Write(current, wanted, err, [](const std::string&) {}))
            return;
        strResult = "provisioned";
    }();
    entry["result"] = strResult;
    // The journal names fields, never their values.
    if (err.nExit != kExitOk)
        entry["error"] = err.strNoValues.empty() ? err.strMessage : err.strNoValues;
    entry["duration_ms"] =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();

    std::string strJournalError;
    const bool bJournaled = !plan.journal.IsOpen() || plan.journal.Append(Dump(entry, false), strJournalError);
    {
        std::lock_guard<std::mutex> lock(plan.mtx);
        if (strResult == "provisioned") {
            ++plan.nProvisioned;
            plan.done.insert(strSerial);
        } else if (strResult == "skipped") {
            ++plan.nSkipped;
        } else {
            ++(strResult == "refused" ? plan.nRefused : plan.nFailed);
            if (plan.nFirstExit == kExitOk)
                plan.nFirstExit = err.nExit;
        }
        if (!bJournaled)
            ++plan.nNotJournaled;
    }

    const std::string strNotJournaled = bJournaled ? "" : "; NOT in the journal";
    if (o.bJson) {
        if (!bJournaled)
            entry["journaled"] = false;
        OutLine(Dump(entry, false));
    } else if (strResult == "provisioned") {
        OutLine(strWho + " provisioned (" + std::to_string(entry["changed"].size()) + " fields changed)"
                + strNotJournaled);
    } else if (strResult == "skipped") {
        OutLine(strWho + " skipped: provisioned already (--again provisions it again)" + strNotJournaled);
    } else {
        OutLine(strWho + (strResult == "refused" ? " refused: " : " FAILED: ") + Printable(err.strMessage)
                + strNotJournaled);
    }
    if (err.nExit != kExitOk)
        std::fprintf(stderr, "qvlctl: %s\n",
                     Printable(err.strMessage.find(port.strPort) == std::string::npos
                                   ? port.strPort + ": " + err.strMessage
                                   : err.strMessage)
                         .c_str());
    if (!bJournaled)
        std::fprintf(stderr, "qvlctl: %s: the journal %s was not written: %s\n", port.strPort.c_str(),
                     o.strJournal.c_str(), strJournalError.c_str());
}

// The ports to provision now: the attached units, or those of the named
// ports that exist.
std::vector<FoundPort> PortsNow(const Options& o)
{
    if (o.arrPorts.empty())
        return DiscoverPorts();
    std::vector<FoundPort> ports;
    for (const std::string& strPort : o.arrPorts) {
        if (PortIsThere(strPort))
            ports.push_back({strPort, "-"});
    }
    return ports;
}

} // namespace

int RunProvision(const Options& o)
{
    ProvisionPlan plan;
    CtlError err;
    if (!PlanProvision(o, plan, err)) {
        ReportError(err, o.bJson);
        return err.nExit;
    }
    if (!o.bWatch && StopRequested()) {
        ReportError({kExitUnit, "stopped before any unit was touched", ""}, o.bJson);
        return kExitUnit;
    }

    // Per port: there at the last scan, a thread working on it, to be
    // provisioned once that thread ends (it left and came back meanwhile).
    struct Slot {
        bool bPresent = false;
        bool bRunning = false;
        bool bPending = false;
        FoundPort port;
    };
    std::map<std::string, Slot> slots;
    // The units' threads; one that has ended is joined at the next scan, so
    // that a long watch does not gather them.
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> pDone;
    };
    std::vector<Worker> workers;
    bool bAnyUnit = false;
    // A watch looks at once when the system announces a port; the scan stays
    // for what nothing announces.
    const auto pMonitor = o.bWatch ? CPortMonitor::Start([](const std::wstring&) { WakeStopWait(); }) : nullptr;
    for (;;) {
        if (!StopRequested()) {
            const std::vector<FoundPort> found = PortsNow(o);
            bAnyUnit = bAnyUnit || !found.empty();
            std::lock_guard<std::mutex> lock(plan.mtx);
            for (auto& [strPort, slot] : slots) {
                const bool bThere =
                    std::any_of(found.begin(), found.end(), [&](const FoundPort& p) { return p.strPort == strPort; });
                if (!bThere)
                    slot.bPresent = slot.bPending = false;
            }
            for (const FoundPort& p : found) {
                Slot& slot = slots[p.strPort];
                if (!slot.bPresent)
                    slot.bPending = true;
                slot.bPresent = true;
                slot.port = p;
            }
            for (auto& [strPort, slot] : slots) {
                if (!slot.bPending || slot.bRunning)
                    continue;
                slot.bPending = false;
                slot.bRunning = true;
                auto pDone = std::make_shared<std::atomic<bool>>(false);
                // The units' threads leave the stop requests to this one.
                workers.push_back({StartWorker([&o, &plan, &slots, port = slot.port, pDone] {
                                       ProvisionUnit(o, plan, port);
                                       std::lock_guard<std::mutex> done(plan.mtx);
                                       slots[port.strPort].bRunning = false;
                                       *pDone = true;
                                   }),
                                   pDone});
            }
        }
        for (auto it = workers.begin(); it != workers.end();) {
            if (!*it->pDone) {
                ++it;
                continue;
            }
            it->thread.join();
            it = workers.erase(it);
        }
        if (!o.bWatch || StopRequested())
            break;
        WaitForStopRequest(kWatchScanMs);
    }
    for (Worker& w : workers)
        w.thread.join();

    if (!o.bWatch && !bAnyUnit) {
        ReportError({kExitNoUnit, std::string("no QVL unit found: ") + kNoUnitAdvice, ""}, o.bJson);
        return kExitNoUnit;
    }
    if (o.bJson) {
        OutLine(Dump({{"summary",
                       {{"provisioned", plan.nProvisioned},
                        {"failed", plan.nFailed},
                        {"refused", plan.nRefused},
                        {"skipped", plan.nSkipped},
                        {"not_journaled", plan.nNotJournaled}}}},
                     false));
    } else {
        OutLine("provisioned " + std::to_string(plan.nProvisioned) + ", failed " + std::to_string(plan.nFailed)
                + ", refused " + std::to_string(plan.nRefused) + ", skipped " + std::to_string(plan.nSkipped)
                + (plan.nNotJournaled == 0 ? "" : "; " + std::to_string(plan.nNotJournaled) + " NOT in the journal"));
    }
    RunFinished();
    // A unit that failed or was refused needs the operator first; a watch
    // says only that there is one, a single pass says how, as --all does.
    if (plan.nFailed + plan.nRefused != 0)
        return o.bWatch ? kExitUnit : plan.nFirstExit;
    return plan.nNotJournaled != 0 ? kExitOutput : kExitOk;
}

} // namespace qvlctl
