#include "qvlctl/CtlCommands.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "core/TextUtil.h"
#include "link/ComList.h"
#include "link/PortDiscovery.h"
#include "qvlctl/CtlFields.h"
#include "qvlctl/CtlOutput.h"
#include "qvlctl/CtlPlatform.h"

namespace qvlctl {

namespace {

// What one unit's command came to.
struct UnitResult {
    std::string strPort;
    CtlError err;              // nExit 0 on success
    std::string strText;       // the result as text, when only this unit was asked
    std::string strLine;       // the result as one line, when every unit was asked
    json doc = json::object(); // the result for --json
};

std::vector<FoundPort> CandidatePorts(const Options& o)
{
    if (o.arrPorts.empty())
        return DiscoverPorts();
    std::vector<FoundPort> ports;
    for (const std::string& strPort : o.arrPorts)
        ports.push_back({strPort, "-"});
    return ports;
}

// Runs fn for every port at once, one thread each; the results in port order.
template <class Fn>
std::vector<UnitResult> RunEach(const std::vector<std::string>& arrPorts, Fn fn)
{
    std::vector<UnitResult> results(arrPorts.size());
    if (arrPorts.size() == 1) {
        results[0] = fn(arrPorts[0]);
        return results;
    }
    std::vector<std::thread> threads;
    for (size_t i = 0; i < arrPorts.size(); ++i)
        threads.emplace_back([&results, &arrPorts, &fn, i] { results[i] = fn(arrPorts[i]); });
    for (std::thread& t : threads)
        t.join();
    return results;
}

UnitResult Failed(const std::string& strPort, const CtlError& err)
{
    UnitResult r;
    r.strPort = strPort;
    r.err = err;
    return r;
}

UnitResult Probe(const std::string& strPort)
{
    CCtlUnit unit(strPort);
    CtlError err;
    if (!unit.Open(err))
        return Failed(strPort, err);
    UnitResult r;
    r.strPort = strPort;
    AddIdentity(r.doc, unit.Identity());
    return r;
}

// Every unit's values are checked before any unit is sent a line: a unit
// whose values are refused stops the others too, so that "nothing was sent"
// holds for every unit of --all. Each unit's thread arrives once.
class SendGate {
public:
    explicit SendGate(size_t nUnits) : m_nWaiting(nUnits) { }

    // True when no unit's values were refused; otherwise strInvalidPort is
    // the first such port in port order.
    bool Arrive(size_t nIndex, bool bInvalid, std::string& strInvalidPort, const std::string& strPort)
    {
        std::unique_lock<std::mutex> lock(m_mtx);
        if (bInvalid && nIndex < m_nInvalidIndex) {
            m_nInvalidIndex = nIndex;
            m_strInvalidPort = strPort;
        }
        if (--m_nWaiting == 0)
            m_cv.notify_all();
        m_cv.wait(lock, [this] { return m_nWaiting == 0; });
        strInvalidPort = m_strInvalidPort;
        return m_strInvalidPort.empty();
    }

private:
    std::mutex m_mtx;
    std::condition_variable m_cv;
    size_t m_nWaiting;
    size_t m_nInvalidIndex = static_cast<size_t>(-1);
    std::string m_strInvalidPort;
};

// One unit's run: read and decide (every unit before the gate), then send.
UnitResult RunOnUnit(const Options& o, size_t nIndex, const std::string& strPort,
                     const std::vector<Assignment>& assignments, SendGate& gate, Progress& progress)
{
    auto phase = [&progress, &strPort](const std::string& strPhase) { progress.Phase(strPort, strPhase); };
    UnitResult r;
    r.strPort = strPort;
    CCtlUnit unit(strPort);
    UnitSettings current, wanted;
    bool bReady = false; // wanted is decided and checked, to be written
    std::string strWho;

    auto decide = [&]() {
        phase("connecting");
        if (!unit.Open(r.err))
            return;
        const CtlIdentity& id = unit.Identity();
        strWho = strPort + " " + Printable(id.strSerial);

        if (o.strCommand == "info") {
            AddIdentity(r.doc, id);
            r.strText = "port: " + id.strPort + "\nversion: " + Printable(id.strVersion)
                + "\nmcuid: " + Printable(id.strMcuId) + "\nserial: " + Printable(id.strSerial) + "\n";
            r.strLine =
                strPort + " " + Printable(id.strVersion) + " " + Printable(id.strMcuId) + " " + Printable(id.strSerial);
            return;
        }
        if (o.strCommand == "erase") {
            if (o.bDryRun) {
                r.doc = {{"port", strPort}, {"serial", id.strSerial}, {"dry_run", true}, {"lines", {"fe"}}};
                r.strText = "fe\n";
                r.strLine = strPort + ": fe";
                return;
            }
            bReady = true;
            return;
        }

        phase("reading");
        if (!unit.ReadSettings(current, r.err))
            return;
        if (o.strCommand == "get") {
            AddIdentity(r.doc, id);
            AddSettings(r.doc, current);
            if (!o.bJson && !CheckStorable(current, r.err))
                return;
            r.strText = PresetText(current);
            return;
        }

        // set and write: the unit's settings with the given fields, checked
        // whole with the window's rules and for the wire.
        wanted = current;
        for (const Assignment& a : assignments)
            a.pField->In(wanted) = a.strValue;
        if (!ValidateSettings(wanted, r.err) || !CheckSendable(wanted, r.err))
            return;
        if (o.bDryRun) {
            json lines = json::array();
            for (const std::wstring& strLine : WriteLines(wanted)) {
                const std::string strShown = ShowLine(strLine, o.bShowSecrets);
                lines.push_back(strShown);
                r.strText += strShown + "\n";
                r.strLine += (r.strLine.empty() ? "" : "\n") + strPort + ": " + strShown;
            }
            r.doc = {{"port", strPort}, {"serial", id.strSerial}, {"dry_run", true}, {"lines", lines}};
            return;
        }
        bReady = true;
    };
    decide();

    std::string strInvalidPort;
    const bool bGo = gate.Arrive(nIndex, r.err.nExit == kExitInvalid, strInvalidPort, strPort);
    if (!bReady)
        return r;
    if (!bGo) {
        r.err = {kExitInvalid,
                 "not written: the values for " + strInvalidPort + " are invalid, so no unit was sent any", ""};
        return r;
    }

    const CtlIdentity& id = unit.Identity();
    if (o.strCommand == "erase") {
        UnitSettings after;
        if (!unit.Erase(after, r.err, phase))
            return r;
        AddIdentity(r.doc, id);
        r.doc["result"] = "erased";
        AddSettings(r.doc, after);
        r.strText = PresetText(after);
        r.strLine = strWho + " erased";
        return r;
    }
    if (!unit.Write(current, wanted, r.err, phase))
        return r;
    r.doc = {{"port", strPort}, {"serial", id.strSerial}, {"result", "written"}};
    r.strText = r.strLine = strWho + " written";
    r.strText += "\n";
    return r;
}

} // namespace

std::vector<FoundPort> DiscoverPorts()
{
    std::vector<PortCandidate> arrCandidates;
    std::vector<std::wstring> arrPorts;
    if (ListPortCandidates("/sys", arrCandidates))
        CGetComList::MatchQVLCommPorts(arrCandidates, arrPorts);
    std::vector<FoundPort> found;
    for (const std::wstring& strPort : arrPorts) {
        FoundPort port{ToUtf8(strPort), "-"};
        for (const PortCandidate& c : arrCandidates) {
            if (c.strPortName == strPort && !c.strUsbPath.empty())
                port.strUsbPath = ToUtf8(c.strUsbPath);
        }
        found.push_back(port);
    }
    return found;
}

// A port named with --port must be there, for every command.
bool CheckNamedPorts(const Options& o, CtlError& err)
{
    for (const std::string& strPort : o.arrPorts) {
        std::string strMessage;
        if (!CheckPortName(strPort, strMessage)) {
            err = {kExitNoUnit, strMessage, ""};
            return false;
        }
    }
    return true;
}

// The ports the command runs on. False with err when none can be chosen.
bool SelectPorts(const Options& o, std::vector<std::string>& arrSelected, CtlError& err)
{
    const std::vector<FoundPort> found = CandidatePorts(o);
    if (found.empty()) {
        err = {kExitNoUnit, std::string("no QVL unit found: ") + kNoUnitAdvice, ""};
        return false;
    }
    std::vector<std::string> arrPorts;
    for (const FoundPort& p : found)
        arrPorts.push_back(p.strPort);

    if (o.bAll) {
        arrSelected = arrPorts;
        return true;
    }
    if (!o.strSerial.empty()) {
        for (const UnitResult& r : RunEach(arrPorts, Probe)) {
            if (r.err.nExit == kExitOk && r.doc.value("serial", "") == o.strSerial) {
                arrSelected = {r.strPort};
                return true;
            }
        }
        err = {kExitNoUnit, "no QVL unit with serial number " + o.strSerial + " found", ""};
        return false;
    }
    if (arrPorts.size() > 1) {
        std::string strList;
        for (const std::string& strPort : arrPorts)
            strList += (strList.empty() ? "" : ", ") + strPort;
        err = {kExitUsage,
               std::to_string(arrPorts.size()) + " units found (" + strList
                   + "): choose one with --port=PATH or --serial=NUMBER, or use --all",
               ""};
        return false;
    }
    arrSelected = arrPorts;
    return true;
}

int RunList(const Options& o)
{
    const std::vector<FoundPort> found = CandidatePorts(o);
    if (found.empty()) {
        ReportError({kExitNoUnit, std::string("no QVL unit found: ") + kNoUnitAdvice, ""}, o.bJson);
        return kExitNoUnit;
    }
    std::vector<UnitResult> probes(found.size());
    if (o.bProbe) {
        std::vector<std::string> arrPorts;
        for (const FoundPort& p : found)
            arrPorts.push_back(p.strPort);
        probes = RunEach(arrPorts, Probe);
    }
    int nExit = kExitOk;
    json list = json::array();
    for (size_t i = 0; i < found.size(); ++i) {
        json entry = {{"port", found[i].strPort}, {"usb_path", found[i].strUsbPath}};
        std::string strLine = found[i].strPort + " " + found[i].strUsbPath;
        if (o.bProbe) {
            const UnitResult& r = probes[i];
            if (r.err.nExit != kExitOk) {
                std::fprintf(stderr, "qvlctl: %s\n", Printable(r.err.strMessage).c_str());
                entry["error"] = r.err.strMessage;
                strLine += " error";
                if (nExit == kExitOk)
                    nExit = r.err.nExit;
            } else {
                for (const char* pszKey : {"version", "mcuid", "serial"}) {
                    entry[pszKey] = r.doc[pszKey];
                    strLine += " " + Printable(r.doc[pszKey].get<std::string>());
                }
            }
        }
        list.push_back(entry);
        if (!o.bJson)
            Out(strLine + "\n");
    }
    if (o.bJson)
        Out(Dump(list, true) + "\n");
    return nExit;
}

int RunOnUnits(const Options& o, const std::vector<Assignment>& assignments, const std::vector<std::string>& arrPorts)
{
    const bool bChanges = o.strCommand == "write" || o.strCommand == "set" || o.strCommand == "erase";
    Progress progress(arrPorts.size(), bChanges && !o.bDryRun);
    SendGate gate(arrPorts.size());
    std::vector<UnitResult> results = RunEach(arrPorts, [&](const std::string& strPort) {
        const size_t nIndex =
            static_cast<size_t>(std::find(arrPorts.begin(), arrPorts.end(), strPort) - arrPorts.begin());
        UnitResult r = RunOnUnit(o, nIndex, strPort, assignments, gate, progress);
        progress.UnitDone();
        return r;
    });
    progress.Clear();

    int nExit = kExitOk;
    for (const UnitResult& r : results) {
        if (r.err.nExit != kExitOk) {
            if (nExit == kExitOk)
                nExit = r.err.nExit;
            const std::string strMessage =
                (o.bAll && r.err.strMessage.find(r.strPort) == std::string::npos ? r.strPort + ": " : "")
                + r.err.strMessage;
            if (o.bAll && !o.bJson)
                Out(r.strPort + " FAILED: " + Printable(r.err.strMessage) + "\n");
            ReportError({r.err.nExit, strMessage, r.err.strField}, o.bJson, o.bAll ? r.strPort : std::string());
            continue;
        }
        if (o.bJson)
            Out(Dump(r.doc, !o.bAll) + "\n");
        else if (o.bAll)
            Out(r.strLine + "\n");
        else
            Out(r.strText);
    }
    return nExit;
}

} // namespace qvlctl
