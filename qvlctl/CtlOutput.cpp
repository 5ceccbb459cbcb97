#include "qvlctl/CtlOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "core/TextUtil.h"
#include "editor/IndexText.h"
#include "presets/IniFile.h"
#include "presets/PresetSections.h"
#include "qvlctl/CtlFields.h"
#include "qvlctl/CtlPlatform.h"

namespace qvlctl {

namespace {

// The first error writing standard output (an errno value), 0 while none.
int g_nOutError = 0;
// Output lines come from the units' threads as they finish (OutLine).
std::mutex g_mtxOut;

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

} // namespace

std::string Dump(const json& doc, bool bPretty)
{
    return doc.dump(bPretty ? 2 : -1, ' ', false, json::error_handler_t::replace);
}

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

void ReportError(const CtlError& err, bool bJson, const std::string& strPort)
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

void OutLine(const std::string& strLine)
{
    std::lock_guard<std::mutex> lock(g_mtxOut);
    Out(strLine + "\n");
    errno = 0;
    if (std::fflush(stdout) != 0 && g_nOutError == 0)
        g_nOutError = errno != 0 ? errno : EIO;
}

Progress::Progress(size_t nUnits, bool bWanted) : m_bOn(bWanted && StderrIsTerminal()), m_nUnits(nUnits)
{
}

void Progress::Phase(const std::string& strPort, const std::string& strPhase)
{
    if (!m_bOn)
        return;
    std::lock_guard<std::mutex> lock(m_mtx);
    if (m_nUnits == 1)
        Show(strPort + ": " + strPhase + "...");
    else
        Show(std::to_string(m_nUnits) + " units, " + std::to_string(m_nDone) + " done; " + strPort + ": " + strPhase);
}

void Progress::UnitDone()
{
    std::lock_guard<std::mutex> lock(m_mtx);
    ++m_nDone;
}

void Progress::Clear()
{
    if (!m_bOn)
        return;
    std::lock_guard<std::mutex> lock(m_mtx);
    if (m_bShown)
        std::fputs("\r\033[K", stderr);
    m_bShown = false;
}

void Progress::Show(const std::string& strText)
{
    std::fprintf(stderr, "\r\033[K%s", strText.c_str());
    std::fflush(stderr);
    m_bShown = true;
}

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

} // namespace qvlctl
