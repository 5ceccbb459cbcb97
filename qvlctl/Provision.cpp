#include "qvlctl/Provision.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

#include "core/TextUtil.h"
#include "qvlctl/CtlPlatform.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string WithoutBlanksAround(const std::string& str)
{
    const size_t nFirst = str.find_first_not_of(" \t");
    return nFirst == std::string::npos ? std::string() : str.substr(nFirst, str.find_last_not_of(" \t") - nFirst + 1);
}

// Splits CSV text into rows of fields, each row with its 1-based line.
// Blanks around a field are dropped (a spreadsheet's "20260012 ,x"); a field
// in quotes keeps its text exactly, blanks outside the quotes aside. A row
// that holds nothing (an empty line, only blanks or commas, as spreadsheets
// export below a table) is skipped. False with strWhy and nLine on a quote
// that is never closed or text after a closing quote.
bool SplitCsv(std::string_view bytes, std::vector<std::pair<size_t, std::vector<std::string>>>& rows,
              std::string& strWhy, size_t& nLine)
{
    nLine = 1;
    std::vector<std::string> fields;
    std::string strField;
    bool bQuoted = false, bWasQuoted = false;
    size_t nRowLine = 1;
    auto endField = [&]() {
        fields.push_back(bWasQuoted ? std::move(strField) : WithoutBlanksAround(strField));
        strField.clear();
        bWasQuoted = false;
    };
    auto endRow = [&]() {
        endField();
        if (std::any_of(fields.begin(), fields.end(), [](const std::string& str) { return !str.empty(); }))
            rows.push_back({nRowLine, fields});
        fields.clear();
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (bQuoted) {
            if (c == '"' && i + 1 < bytes.size() && bytes[i + 1] == '"') {
                strField += '"';
                ++i;
            } else if (c == '"') {
                bQuoted = false;
            } else {
                if (c == '\n')
                    ++nLine;
                strField += c;
            }
            continue;
        }
        if (c == ',') {
            endField();
        } else if (c == '\n' || (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) {
            if (c == '\r')
                ++i;
            endRow();
            nRowLine = ++nLine;
        } else if (bWasQuoted) {
            if (!IsBlank(c)) {
                strWhy = "text after a closing quote";
                return false;
            }
        } else if (c == '"' && std::all_of(strField.begin(), strField.end(), IsBlank)) {
            strField.clear();
            bQuoted = bWasQuoted = true;
        } else {
            strField += c;
        }
    }
    if (bQuoted) {
        strWhy = "a quote is never closed";
        nLine = nRowLine;
        return false;
    }
    endRow();
    return true;
}

} // namespace

bool ParseValuesCsv(const std::string& strName, const std::string& strBytes, std::map<std::string, UnitValues>& rows,
                    CtlError& err)
{
    rows.clear();
    std::vector<std::pair<size_t, std::vector<std::string>>> table;
    std::string strWhy;
    size_t nLine = 0;
    auto fail = [&](size_t nRow, const std::string& strText, const std::string& strField) {
        err = {kExitInvalid, strName + " row " + std::to_string(nRow) + ": " + strText, strField};
        return false;
    };
    std::string_view bytes = strBytes;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3); // a spreadsheet's byte order mark, before a quoted header too
    if (!SplitCsv(bytes, table, strWhy, nLine))
        return fail(nLine, strWhy, "");
    if (table.empty())
        return fail(1, "no header (serial,KEY,...)", "");

    // The header: the serial column and the fields the others set.
    const auto& [nHeaderRow, header] = table[0];
    size_t nSerialColumn = header.size();
    std::vector<const CtlField*> columns(header.size(), nullptr);
    for (size_t i = 0; i < header.size(); ++i) {
        const std::string& strKey = header[i];
        if (strKey == "serial") {
            if (nSerialColumn != header.size())
                return fail(nHeaderRow, "the column serial is there twice", "serial");
            nSerialColumn = i;
            continue;
        }
        columns[i] = FindCtlField(strKey);
        if (!columns[i])
            return fail(nHeaderRow,
                        "unknown key \"" + Printable(strKey) + "\" (keys are serial, wwan1.apn ... wifi.pwtype)",
                        Printable(strKey));
        for (size_t j = 0; j < i; ++j) {
            if (columns[j] == columns[i])
                return fail(nHeaderRow, "the column " + columns[i]->strName + " is there twice", columns[i]->strName);
        }
    }
    if (nSerialColumn == header.size())
        return fail(nHeaderRow, "no serial column", "serial");

    for (size_t r = 1; r < table.size(); ++r) {
        const auto& [nRow, fields] = table[r];
        if (fields.size() != header.size())
            return fail(nRow,
                        std::to_string(fields.size()) + " fields, the header has " + std::to_string(header.size()), "");
        // A serial number never has blanks around it, in quotes or not.
        const std::string strSerial = WithoutBlanksAround(fields[nSerialColumn]);
        if (strSerial.empty())
            return fail(nRow, "no serial number", "serial");
        if (rows.count(strSerial) != 0)
            return fail(nRow,
                        "serial number " + Printable(strSerial) + " is there twice (also row "
                            + std::to_string(rows[strSerial].nRow) + ")",
                        "serial");
        UnitValues unit;
        unit.nRow = nRow;
        for (size_t i = 0; i < fields.size(); ++i) {
            const CtlField* pField = columns[i];
            // A blank cell sets nothing: the preset's value stands.
            if (!pField || fields[i].empty())
                continue;
            // Nothing but one well-formed set line may reach the unit: no
            // control characters, nothing beyond ASCII.
            for (const char c : fields[i]) {
                const auto u = static_cast<unsigned char>(c);
                if (u < 0x20 || u >= 0x7F)
                    return fail(nRow, pField->strName + ": Please enter only ASCII characters other than spaces.",
                                pField->strName);
            }
            std::wstring strValue = FromUtf8(fields[i]);
            if (pField->IsIndex()) {
                const std::optional<std::wstring> index = ParseIndexValue(*pField, fields[i]);
                if (!index)
                    return fail(nRow, pField->strName + ": Please enter one of " + IndexChoices(*pField) + ".",
                                pField->strName);
                strValue = *index;
            }
            unit.values.push_back({pField, strValue});
        }
        rows[strSerial] = std::move(unit);
    }
    return true;
}

bool CJournal::Open(const std::string& strPath, std::string& strError)
{
    return m_file.Open(strPath, strError);
}

bool CJournal::Append(const std::string& strLine, std::string& strError)
{
    std::lock_guard<std::mutex> lock(m_mtx);
    return m_file.AppendLine(strLine, strError);
}

std::string UtcNowText()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::tm tm = UtcTime(t);
    char sz[96];
    std::snprintf(sz, sizeof sz, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
    return sz;
}
