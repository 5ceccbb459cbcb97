#include "qvlctl/Provision.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/TextUtil.h"
#include "qvlctl/CtlPlatform.h"

namespace {

// Splits CSV text into rows of fields, each row with its 1-based line.
// False with strWhy and nLine on a quote that is never closed or text after
// a closing quote.
bool SplitCsv(const std::string& strBytes, std::vector<std::pair<size_t, std::vector<std::string>>>& rows,
              std::string& strWhy, size_t& nLine)
{
    nLine = 1;
    std::vector<std::string> fields;
    std::string strField;
    bool bQuoted = false, bAfterQuote = false, bRowHasText = false;
    size_t nRowLine = 1;
    auto endRow = [&]() {
        fields.push_back(strField);
        if (bRowHasText || fields.size() > 1)
            rows.push_back({nRowLine, fields});
        fields.clear();
        strField.clear();
        bRowHasText = false;
        bAfterQuote = false;
    };
    for (size_t i = 0; i < strBytes.size(); ++i) {
        const char c = strBytes[i];
        if (bQuoted) {
            if (c == '"' && i + 1 < strBytes.size() && strBytes[i + 1] == '"') {
                strField += '"';
                ++i;
            } else if (c == '"') {
                bQuoted = false;
                bAfterQuote = true;
            } else {
                if (c == '\n')
                    ++nLine;
                strField += c;
            }
            continue;
        }
        if (c == ',') {
            fields.push_back(strField);
            strField.clear();
            bAfterQuote = false;
            bRowHasText = true;
        } else if (c == '\n' || (c == '\r' && i + 1 < strBytes.size() && strBytes[i + 1] == '\n')) {
            if (c == '\r')
                ++i;
            endRow();
            nRowLine = ++nLine;
        } else if (bAfterQuote) {
            strWhy = "text after a closing quote";
            return false;
        } else if (c == '"' && strField.empty()) {
            bQuoted = true;
            bRowHasText = true;
        } else {
            strField += c;
            bRowHasText = true;
        }
    }
    if (bQuoted) {
        strWhy = "a quote is never closed";
        nLine = nRowLine;
        return false;
    }
    if (bRowHasText || !fields.empty())
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
    if (!SplitCsv(strBytes, table, strWhy, nLine))
        return fail(nLine, strWhy, "");
    if (table.empty())
        return fail(1, "no header (serial,KEY,...)", "");

    // The header: the serial column and the fields the others set.
    const auto& [nHeaderRow, header] = table[0];
    size_t nSerialColumn = header.size();
    std::vector<const CtlField*> columns(header.size(), nullptr);
    for (size_t i = 0; i < header.size(); ++i) {
        std::string strKey = header[i];
        if (i == 0 && strKey.compare(0, 3, "\xEF\xBB\xBF") == 0)
            strKey.erase(0, 3); // a spreadsheet's byte order mark
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
        const std::string& strSerial = fields[nSerialColumn];
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
            if (!pField)
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
