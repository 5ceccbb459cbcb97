// Summarises provisioning journals (see JournalSummary.h).
#include "qvlctl/JournalSummary.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "qvlctl/CtlFields.h"
#include "qvlctl/CtlUnit.h"

using nlohmann::json;

namespace {

// A journal line is a few hundred bytes; a longer one is no entry, and is not
// kept in memory whole.
constexpr size_t kMaxLineBytes = 1 << 20;

std::string Text(const json& entry, const char* pszKey)
{
    const auto it = entry.find(pszKey);
    return it != entry.end() && it->is_string() ? it->get<std::string>() : std::string();
}

void ReplaceAll(std::string& str, const std::string& strWhat, const std::string& strWith)
{
    if (strWhat.empty())
        return;
    for (size_t nAt = str.find(strWhat); nAt != std::string::npos; nAt = str.find(strWhat, nAt + strWith.size()))
        str.replace(nAt, strWhat.size(), strWith);
}

// Counts one line; false when it is no journal entry.
bool AddEntry(JournalSummary& sum, const std::string& strLine)
{
    const json entry = json::parse(strLine, nullptr, false);
    if (!entry.is_object() || !entry.contains("result") || !entry["result"].is_string())
        return false;
    const std::string strResult = entry["result"].get<std::string>();
    const std::string strSerial = Text(entry, "serial");
    JournalSummary::Station& station = sum.stations[Text(entry, "host")];
    if (strSerial.empty())
        ++station.nNoSerial;
    else
        station.serials.insert(strSerial);
    if (strResult == "provisioned") {
        ++station.nProvisioned;
    } else if (strResult == "skipped") {
        ++station.nSkipped;
    } else {
        ++station.nFailed;
        std::string strReason = Text(entry, "error");
        ReplaceAll(strReason, Text(entry, "port"), "PORT");
        ReplaceAll(strReason, strSerial, "SERIAL");
        ++sum.failures[strResult + ": " + (strReason.empty() ? "no error given" : strReason)];
    }
    if (const std::string strSha = Text(entry, "preset_sha256"); !strSha.empty()) {
        JournalSummary::Preset& preset = sum.presets[strSha];
        ++preset.nEntries;
        if (const std::string strName = Text(entry, "preset"); !strName.empty())
            preset.names.insert(strName);
    }
    return true;
}

std::string Pad(const std::string& str, size_t nWidth, bool bRight)
{
    const std::string strFill(str.size() < nWidth ? nWidth - str.size() : 0, ' ');
    return bRight ? strFill + str : str + strFill;
}

} // namespace

void AddJournal(JournalSummary& sum, const std::string& strName, std::istream& in)
{
    size_t nLine = 0;
    std::string strLine;
    bool bTooLong = false;
    const auto finish = [&] {
        ++nLine;
        const bool bBlank = strLine.find_first_not_of(" \t\r") == std::string::npos && !bTooLong;
        if (!bBlank && (bTooLong || !AddEntry(sum, strLine)))
            sum.unparsed.push_back(strName + ":" + std::to_string(nLine));
        strLine.clear();
        bTooLong = false;
    };
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        const std::string_view chunk(buf, static_cast<size_t>(in.gcount()));
        for (size_t nFrom = 0; nFrom < chunk.size();) {
            const size_t nEnd = chunk.find('\n', nFrom);
            const std::string_view part = chunk.substr(nFrom, nEnd == std::string_view::npos ? nEnd : nEnd - nFrom);
            if (!bTooLong && strLine.size() + part.size() <= kMaxLineBytes)
                strLine.append(part);
            else
                bTooLong = true, strLine.clear();
            if (nEnd == std::string_view::npos)
                break;
            finish();
            nFrom = nEnd + 1;
        }
    }
    // A last line without its newline: a whole entry counts, a cut one is named.
    if (!strLine.empty() || bTooLong)
        finish();
}

json SummaryJson(const JournalSummary& sum)
{
    json doc = {{"stations", json::array()}, {"failures", json::array()}, {"presets", json::array()}};
    json total = {{"units", 0}, {"provisioned", 0}, {"failed", 0}, {"skipped", 0}};
    for (const auto& [strHost, s] : sum.stations) {
        doc["stations"].push_back({{"station", strHost},
                                   {"units", s.Units()},
                                   {"provisioned", s.nProvisioned},
                                   {"failed", s.nFailed},
                                   {"skipped", s.nSkipped}});
        total["units"] = total["units"].get<size_t>() + s.Units();
        total["provisioned"] = total["provisioned"].get<size_t>() + s.nProvisioned;
        total["failed"] = total["failed"].get<size_t>() + s.nFailed;
        total["skipped"] = total["skipped"].get<size_t>() + s.nSkipped;
    }
    doc["total"] = total;
    for (const auto& [strReason, nCount] : sum.failures)
        doc["failures"].push_back({{"reason", strReason}, {"units", nCount}});
    for (const auto& [strSha, p] : sum.presets)
        doc["presets"].push_back({{"sha256", strSha}, {"names", p.names}, {"units", p.nEntries}});
    doc["unparsed"] = {{"count", sum.unparsed.size()}, {"lines", sum.unparsed}};
    return doc;
}

std::string SummaryTable(const JournalSummary& sum)
{
    const json doc = SummaryJson(sum);
    size_t nWidth = 12; // "all stations"
    for (const json& s : doc["stations"])
        nWidth = std::max(nWidth, Printable(s["station"].get<std::string>()).size());
    const auto row = [&](const std::string& strName, const json& s) {
        return Pad(strName, nWidth, false) + Pad(std::to_string(s["units"].get<size_t>()), 7, true)
            + Pad(std::to_string(s["provisioned"].get<size_t>()), 13, true)
            + Pad(std::to_string(s["failed"].get<size_t>()), 8, true)
            + Pad(std::to_string(s["skipped"].get<size_t>()), 9, true) + "\n";
    };
    std::string strOut = Pad("station", nWidth, false) + "  units  provisioned  failed  skipped\n";
    for (const json& s : doc["stations"])
        strOut += row(Printable(s["station"].get<std::string>()), s);
    strOut += row("all stations", doc["total"]);
    strOut += "\nfailures by reason (units)\n";
    if (doc["failures"].empty())
        strOut += "  none\n";
    for (const json& f : doc["failures"])
        strOut += Pad(std::to_string(f["units"].get<size_t>()), 6, true) + "  "
            + Printable(f["reason"].get<std::string>()) + "\n";
    strOut += "\npresets by SHA-256 (units, names)\n";
    if (doc["presets"].empty())
        strOut += "  none\n";
    for (const json& p : doc["presets"]) {
        std::string strNames;
        for (const json& name : p["names"])
            strNames += (strNames.empty() ? "" : ", ") + Printable(name.get<std::string>());
        strOut += "  " + Printable(p["sha256"].get<std::string>())
            + Pad(std::to_string(p["units"].get<size_t>()), 6, true) + "  " + strNames + "\n";
    }
    if (!sum.unparsed.empty()) {
        strOut += "\njournal lines that do not parse: " + std::to_string(sum.unparsed.size()) + "\n";
        for (const std::string& strWhere : sum.unparsed)
            strOut += "  " + Printable(strWhere) + "\n";
    }
    return strOut;
}

int RunJournalSummary(const std::vector<std::string>& arrFiles, bool bJson, std::string& strOut)
{
    JournalSummary sum;
    int nExit = kExitOk;
    for (const std::string& strFile : arrFiles) {
        std::error_code ec;
        std::ifstream in;
        if (!std::filesystem::is_directory(strFile, ec))
            in.open(strFile, std::ios::binary);
        if (in)
            AddJournal(sum, strFile, in);
        if (!in.is_open() || in.bad()) {
            std::fprintf(stderr, "qvlctl: %s: cannot be read\n", Printable(strFile).c_str());
            nExit = kExitPreset;
        }
    }
    if (!sum.unparsed.empty()) {
        std::fprintf(stderr, "qvlctl: %zu journal line(s) do not parse, first %s\n", sum.unparsed.size(),
                     Printable(sum.unparsed.front()).c_str());
        nExit = kExitPreset;
    }
    strOut = bJson ? SummaryJson(sum).dump(2, ' ', false, json::error_handler_t::replace) + "\n" : SummaryTable(sum);
    return nExit;
}
