// qvlctl: the unit's settings from a script. Lists the attached units, reads
// their identity and settings, writes single fields or preset files with
// read-back, and erases, on one unit or on every attached unit at once.
// Results go to stdout, one-line errors to stderr; the exit status says what
// failed (see CtlExit).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <spdlog/spdlog.h>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/Logging.h"
#include "core/TextUtil.h"
#include "editor/IndexText.h"
#include "link/ComList.h"
#include "link/PortDiscovery.h"
#include "link/PortMonitor.h"
#include "presets/FileAccess.h"
#include "presets/IniFile.h"
#include "presets/PresetSections.h"
#include "qvlctl/CtlFields.h"
#include "qvlctl/CtlPlatform.h"
#include "qvlctl/CtlUnit.h"
#include "qvlctl/JournalSummary.h"
#include "qvlctl/Provision.h"
#include "qvlctl/Sha256.h"

using nlohmann::json;

namespace {

struct Options {
    std::vector<std::string> arrPorts;
    std::string strSerial;
    bool bAll = false;
    bool bJson = false;
    bool bShowSecrets = false;
    std::string strLog;

    std::string strCommand;
    bool bProbe = false;
    std::vector<std::string> arrAssignments;
    std::string strFile;
    int nGroup = 0;
    bool bDryRun = false;
    bool bYes = false;

    // provision
    bool bWatch = false;
    bool bAgain = false;
    std::string strValues;
    bool bValuesOptional = false;
    std::string strJournal;

    // journal summary
    std::vector<std::string> arrJournals;
};

// What one unit's command came to.
struct UnitResult {
    std::string strPort;
    CtlError err;              // nExit 0 on success
    std::string strText;       // the result as text, when only this unit was asked
    std::string strLine;       // the result as one line, when every unit was asked
    json doc = json::object(); // the result for --json
};

// ---- Output ----------------------------------------------------------------

std::string Dump(const json& doc, bool bPretty)
{
    return doc.dump(bPretty ? 2 : -1, ' ', false, json::error_handler_t::replace);
}

// The first error writing standard output (an errno value), 0 while none.
// Only the main thread writes there.
int g_nOutError = 0;

void Out(const std::string& strText)
{
    if (std::fwrite(strText.data(), 1, strText.size(), stdout) != strText.size() && g_nOutError == 0)
        g_nOutError = errno != 0 ? errno : EIO;
}

// Every result has reached standard output, or the run fails: flushed and
// checked once at the end. The status of a run that already failed stays.
int FinishOutput(int nExit)
{
    errno = 0;
    std::cout.flush(); // help texts go there
    if (!std::cout && g_nOutError == 0)
        g_nOutError = errno != 0 ? errno : EIO;
    errno = 0;
    if (std::fflush(stdout) != 0 && g_nOutError == 0)
        g_nOutError = errno != 0 ? errno : EIO;
    if (g_nOutError == 0 && (std::ferror(stdout) || !std::cout))
        g_nOutError = EIO;
    if (g_nOutError == 0)
        return nExit;
    std::fprintf(stderr, "qvlctl: the result could not be written to standard output: %s\n",
                 std::strerror(g_nOutError));
    return nExit != kExitOk ? nExit : kExitOutput;
}

void ReportError(const CtlError& err, bool bJson, const std::string& strPort = std::string())
{
    // Messages may quote what the unit sent.
    std::fprintf(stderr, "qvlctl: %s\n", Printable(err.strMessage).c_str());
    if (bJson) {
        json doc;
        if (!strPort.empty())
            doc["port"] = strPort;
        doc["error"] = err.strMessage;
        doc["field"] = err.strField.empty() ? json(nullptr) : json(err.strField);
        Out(Dump(doc, false) + "\n");
    }
}

// A progress line on stderr, rewritten in place; only when stderr is a
// terminal, so logs and pipes see nothing of it.
class Progress {
public:
    Progress(size_t nUnits, bool bWanted) : m_bOn(bWanted && StderrIsTerminal()), m_nUnits(nUnits) { }
    ~Progress() { Clear(); }

    void Phase(const std::string& strPort, const std::string& strPhase)
    {
        if (!m_bOn)
            return;
        std::lock_guard<std::mutex> lock(m_mtx);
        if (m_nUnits == 1)
            Show(strPort + ": " + strPhase + "...");
        else
            Show(std::to_string(m_nUnits) + " units, " + std::to_string(m_nDone) + " done; " + strPort + ": "
                 + strPhase);
    }
    void UnitDone()
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        ++m_nDone;
    }
    void Clear()
    {
        if (!m_bOn)
            return;
        std::lock_guard<std::mutex> lock(m_mtx);
        if (m_bShown)
            std::fputs("\r\033[K", stderr);
        m_bShown = false;
    }

private:
    void Show(const std::string& strText)
    {
        std::fprintf(stderr, "\r\033[K%s", strText.c_str());
        std::fflush(stderr);
        m_bShown = true;
    }

    const bool m_bOn;
    const size_t m_nUnits;
    std::mutex m_mtx;
    size_t m_nDone = 0;
    bool m_bShown = false;
};

// ---- Settings as text and JSON ---------------------------------------------

// The settings as a "*.all" preset file holds them, every value exactly. A
// value no preset can hold (CheckStorable) is shown escaped.
std::string PresetText(const UnitSettings& s)
{
    auto shown = [](const std::wstring& strValue) {
        return PresetValueProblem(strValue).empty() ? strValue : FromUtf8(Printable(ToUtf8(strValue)));
    };
    CIniFile ini;
    for (int n = 0; n < kWwanCount; ++n) {
        for (const auto& [strKey, strValue] : WwanSectionValues(s.wwan[static_cast<size_t>(n)]))
            ini.SetValue(L"WWAN" + std::to_wstring(n + 1), strKey, shown(strValue));
    }
    for (const auto& [strKey, strValue] : WifiSectionValues(s.wifi))
        ini.SetValue(L"Wi-Fi", strKey, shown(strValue));
    return ini.Serialize();
}

// False, naming the field, when a value cannot be stored in a preset file as
// the unit holds it: a preset that showed it otherwise would write other text
// to the unit.
bool CheckStorable(const UnitSettings& s, CtlError& err)
{
    for (const CtlField& field : CtlFields()) {
        const std::wstring strProblem = PresetValueProblem(field.In(s));
        if (!strProblem.empty()) {
            err = {kExitUnit,
                   field.strName + ": the unit's value " + ToUtf8(strProblem)
                       + ", which a preset file cannot store (--json gives it exactly)",
                   field.strName};
            return false;
        }
    }
    return true;
}

bool IsNumber(const std::wstring& str)
{
    size_t i = (!str.empty() && str[0] == L'-') ? 1 : 0;
    if (i >= str.size() || str.size() > 9)
        return false;
    for (; i < str.size(); ++i) {
        if (str[i] < L'0' || str[i] > L'9')
            return false;
    }
    return true;
}

// Adds the 24 fields, grouped "wwan1" ... "wifi"; an index field as its
// number with its list item beside it ("authtype": 1, "authtype_label": "CHAP").
void AddSettings(json& doc, const UnitSettings& s)
{
    for (const CtlField& field : CtlFields()) {
        const std::string strGroup = field.strName.substr(0, field.strName.find('.'));
        json& group = doc[strGroup];
        const std::wstring& strValue = field.In(s);
        if (!field.IsIndex() || !IsNumber(strValue)) {
            group[field.strKey] = ToUtf8(strValue);
            if (field.IsIndex())
                group[field.strKey + "_label"] = nullptr;
            continue;
        }
        const int nIndex = IndexTextToInt(strValue);
        group[field.strKey] = nIndex;
        group[field.strKey + "_label"] = (nIndex >= 0 && static_cast<size_t>(nIndex) < field.Labels().size())
            ? json(field.Labels()[static_cast<size_t>(nIndex)])
            : json(nullptr);
    }
}

void AddIdentity(json& doc, const CtlIdentity& id)
{
    doc["port"] = id.strPort;
    doc["version"] = id.strVersion;
    doc["mcuid"] = id.strMcuId;
    doc["serial"] = id.strSerial;
}

// ---- Unit selection ----------------------------------------------------------

struct FoundPort {
    std::string strPort;
    std::string strUsbPath;
};

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

std::vector<FoundPort> CandidatePorts(const Options& o)
{
    if (o.arrPorts.empty())
        return DiscoverPorts();
    std::vector<FoundPort> ports;
    for (const std::string& strPort : o.arrPorts)
        ports.push_back({strPort, "-"});
    return ports;
}

const char* const kNoUnitAdvice = "connect the unit by USB, or name its port with --port=PATH";

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

// ---- Commands ----------------------------------------------------------------

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

// A field and the value a command gives it: from "set KEY=VALUE" or from a
// preset file's section.
struct Assignment {
    const CtlField* pField;
    std::wstring strValue;
};

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

// Checks the values a command gives, before any unit is touched. A value
// whose rule depends on the unit (a passphrase without its key format) is
// checked with each unit's settings.
bool CheckGivenValues(const std::vector<Assignment>& assignments, CtlError& err)
{
    UnitSettings given; // the empty texts pass every rule
    bool bKeyFormat = false;
    for (const Assignment& a : assignments) {
        a.pField->In(given) = a.strValue;
        bKeyFormat = bKeyFormat || (a.pField->pWire->IsWifi() && a.pField->strKey == "pwtype");
    }
    if (!bKeyFormat)
        given.wifi.strPassphrase.clear();
    return ValidateSettings(given, err);
}

// Checks the command's arguments before any unit is touched.
bool PlanAssignments(const Options& o, std::vector<Assignment>& assignments, CtlError& err)
{
    for (const std::string& strArg : o.arrAssignments) {
        const size_t nEq = strArg.find('=');
        if (nEq == std::string::npos) {
            err = {kExitUsage, "\"" + strArg + "\" is not KEY=VALUE", ""};
            return false;
        }
        const std::string strKey = strArg.substr(0, nEq);
        const std::string strValue = strArg.substr(nEq + 1);
        const CtlField* pField = FindCtlField(strKey);
        if (!pField) {
            err = {kExitUsage,
                   "unknown key \"" + strKey
                       + "\" (keys are wwan1.apn ... wwan4.pdptype, wifi.ssid ... wifi.pwtype; see qvlctl set --help)",
                   ""};
            return false;
        }
        Assignment a{pField, FromUtf8(strValue)};
        if (pField->IsIndex()) {
            const std::optional<std::wstring> index = ParseIndexValue(*pField, strValue);
            if (!index) {
                err = {kExitInvalid, pField->strName + ": Please enter one of " + IndexChoices(*pField) + ".",
                       pField->strName};
                return false;
            }
            a.strValue = *index;
        }
        assignments.push_back(a);
    }
    return CheckGivenValues(assignments, err);
}

std::string Extension(const std::string& strPath)
{
    const size_t nSlash = strPath.find_last_of('/');
    const size_t nDot = strPath.find_last_of('.');
    if (nDot == std::string::npos || (nSlash != std::string::npos && nDot < nSlash))
        return {};
    std::string strExt = strPath.substr(nDot + 1);
    for (char& c : strExt)
        c = static_cast<char>(AsciiLower(static_cast<wchar_t>(static_cast<unsigned char>(c))));
    return strExt;
}

std::string UpperAscii(std::string str)
{
    for (char& c : str) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return str;
}

// Reads the preset file once, by the bytes of its name, and turns the
// sections it holds into the fields they set. Every section holds all its
// keys (one that lacks a key is cut, or not a preset); an index key holds
// its list position as plain decimal.
bool PlanPreset(const Options& o, std::vector<Assignment>& assignments, CtlError& err, std::string* pstrBytes = nullptr)
{
    const std::string strExt = Extension(o.strFile);
    if (strExt == "wwan" && o.nGroup == 0) {
        err = {kExitUsage, "a *.wwan preset holds one profile: say which with --group 1..4", ""};
        return false;
    }
    if (strExt != "wwan" && o.nGroup != 0) {
        err = {kExitUsage, "--group is for *.wwan presets only", ""};
        return false;
    }
    // One open and one read: the content checked is the content sent and
    // fingerprinted.
    CIniFile ini;
    std::string strBytes;
    bool bCut = false;
    const Status read = o.strFile.empty() ? Status(ErrnoFailure(ENOENT))
                                          : ReadRegularFile(o.strFile, CIniFile::kMaxFileBytes, strBytes, bCut);
    if (!read) {
        if (read.Is(FailureKind::NotFound))
            err = {kExitPreset, o.strFile + ": no such file", ""};
        else
            err = {kExitPreset, o.strFile + ": " + ToUtf8(read.Text()), ""};
        return false;
    }
    ini.Parse(strBytes);
    if (ini.TooManyLines()) {
        err = {kExitPreset,
               o.strFile + ": " + std::strerror(EFBIG) + " (a preset has at most " + std::to_string(CIniFile::kMaxLines)
                   + " lines)",
               ""};
        return false;
    }
    if (bCut) {
        err = {kExitPreset,
               o.strFile + ": larger than the " + std::to_string(CIniFile::kMaxFileBytes / (1024 * 1024))
                   + " MiB a preset may have",
               ""};
        return false;
    }

    // The sections to use: the file's section name and the group it sets.
    std::vector<std::pair<std::wstring, int>> sections;
    if (strExt == "wwan") {
        if (ini.HasSectionExact(L"WWAN"))
            sections.push_back({L"WWAN", o.nGroup - 1});
    } else if (strExt == "wifi") {
        if (ini.HasSectionExact(L"Wi-Fi"))
            sections.push_back({L"Wi-Fi", kWifiGroup});
    } else {
        for (int n = 0; n < kWwanCount; ++n) {
            if (ini.HasSectionExact(L"WWAN" + std::to_wstring(n + 1)))
                sections.push_back({L"WWAN" + std::to_wstring(n + 1), n});
        }
        if (ini.HasSectionExact(L"Wi-Fi"))
            sections.push_back({L"Wi-Fi", kWifiGroup});
    }
    if (sections.empty()) {
        const char* pszWanted = strExt == "wwan" ? "[WWAN]"
            : strExt == "wifi"                   ? "[Wi-Fi]"
                                                 : "[WWAN1] to [WWAN4] or [Wi-Fi]";
        err = {kExitPreset, o.strFile + ": no " + std::string(pszWanted) + " section", ""};
        return false;
    }

    for (const auto& [strSection, nGroup] : sections) {
        for (const CtlField& field : CtlFields()) {
            if (field.pWire->nGroup != nGroup)
                continue;
            const std::string strKey = UpperAscii(field.strKey);
            const std::string strWhere = o.strFile + ": [" + ToUtf8(strSection) + "] " + strKey;
            std::wstring strValue;
            if (!ini.GetValue(strSection, FromUtf8(strKey), strValue)) {
                err = {kExitPreset, strWhere + " is missing (is the file cut?)", field.strName};
                return false;
            }
            if (field.IsIndex() && !ParseIndexNumber(field, strValue)) {
                if (strValue != IndexToText(-1)) {
                    err = {kExitInvalid,
                           strWhere + "=" + ToUtf8(strValue) + ": Please enter one of " + IndexChoices(field) + ".",
                           field.strName};
                    return false;
                }
                // A list the window saved with nothing chosen: read as the window reads it.
                strValue = PresetIndexText(*field.pWire, strValue);
                const std::string strLabel = field.Labels().at(static_cast<size_t>(IndexTextToInt(strValue)));
                std::fprintf(stderr, "qvlctl: %s=-1 (nothing chosen) reads as %s (%s), as in the window\n",
                             Printable(strWhere).c_str(), ToUtf8(strValue).c_str(), strLabel.c_str());
            }
            assignments.push_back({&field, strValue});
        }
    }
    if (pstrBytes)
        *pstrBytes = std::move(strBytes);
    return CheckGivenValues(assignments, err);
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

// ---- provision ---------------------------------------------------------------

// Output lines come from the units' threads as they finish.
std::mutex g_mtxOut;

void OutLine(const std::string& strLine)
{
    std::lock_guard<std::mutex> lock(g_mtxOut);
    Out(strLine + "\n");
    errno = 0;
    if (std::fflush(stdout) != 0 && g_nOutError == 0)
        g_nOutError = errno != 0 ? errno : EIO;
}

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

int RunProvision(const Options& o)
{
    // Ctrl+C, SIGTERM and a hang-up stop the run once the units in progress
    // are done; a second one ends the program at once.
    std::string strStopError;
    if (!InstallStopRequest(strStopError)) {
        ReportError({kExitUnit, "cannot set up the stop signal: " + strStopError, ""}, o.bJson);
        return kExitUnit;
    }
    ProvisionPlan plan;
    CtlError err;
    if (!o.bWatch && !CheckNamedPorts(o, err)) {
        ReportError(err, o.bJson);
        return err.nExit;
    }
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

int RunCommand(const Options& o)
{
    if (o.strCommand == "provision")
        return RunProvision(o);
    if (o.strCommand == "journal") {
        std::string strOut;
        const int nExit = RunJournalSummary(o.arrJournals, o.bJson, strOut);
        Out(strOut);
        return nExit;
    }
    CtlError err;
    if (o.strCommand == "list") {
        if (!CheckNamedPorts(o, err)) {
            ReportError(err, o.bJson);
            return err.nExit;
        }
        return RunList(o);
    }

    if (o.strCommand == "erase" && !o.bYes && !o.bDryRun)
        err = {kExitUsage, "erase clears every setting of the unit: confirm with --yes", ""};
    else if (o.strCommand == "get" && o.bAll && !o.bJson)
        err = {kExitUsage, "get --all gives one line per unit: add --json", ""};
    std::vector<Assignment> assignments;
    if (err.nExit == kExitOk && o.strCommand == "set")
        PlanAssignments(o, assignments, err);
    if (err.nExit == kExitOk && o.strCommand == "write")
        PlanPreset(o, assignments, err);
    std::vector<std::string> arrPorts;
    if (err.nExit == kExitOk)
        SelectPorts(o, arrPorts, err);
    if (err.nExit != kExitOk) {
        ReportError(err, o.bJson);
        return err.nExit;
    }

    const bool bChanges = o.strCommand == "write" || o.strCommand == "set" || o.strCommand == "erase";
    Progress progress(arrPorts.size(), bChanges && !o.bDryRun);
    SendGate gate(arrPorts.size());
    std::vector<size_t> arrIndexes(arrPorts.size());
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
