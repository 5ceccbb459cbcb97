#include "presets/IniFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/TextUtil.h"
#include "presets/FileAccess.h"

namespace {

bool IsBlank(wchar_t wc)
{
    return wc == L' ' || wc == L'\t';
}

std::wstring TrimBlanks(const std::wstring& str)
{
    size_t nBegin = 0;
    size_t nEnd = str.size();
    while (nBegin < nEnd && IsBlank(str[nBegin]))
        ++nBegin;
    while (nEnd > nBegin && IsBlank(str[nEnd - 1]))
        --nEnd;
    return str.substr(nBegin, nEnd - nBegin);
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

bool IsQuote(wchar_t wc)
{
    return wc == L'"' || wc == L'\'';
}

bool HasLineBreak(const std::wstring& str)
{
    return str.find_first_of(L"\r\n") != std::wstring::npos;
}

} // namespace

// ---- Decoding and parsing ----------------------------------------------------

std::wstring CIniFile::DecodeLine(const std::string& strRaw) const
{
    if (m_encoding != Encoding::Utf16Le)
        return FromUtf8(strRaw);

    std::wstring out;
    out.reserve(strRaw.size() / 2);
    for (size_t i = 0; i + 1 < strRaw.size(); i += 2) {
        const unsigned u = static_cast<unsigned char>(strRaw[i]) | (static_cast<unsigned char>(strRaw[i + 1]) << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < strRaw.size()) {
            const unsigned v =
                static_cast<unsigned char>(strRaw[i + 2]) | (static_cast<unsigned char>(strRaw[i + 3]) << 8);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                // Where wide text is UTF-16 itself (Windows) the pair stays a
                // pair; elsewhere it is the one character it stands for.
                if constexpr (sizeof(wchar_t) == 2) {
                    out += static_cast<wchar_t>(u);
                    out += static_cast<wchar_t>(v);
                } else {
                    out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                }
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            out += static_cast<wchar_t>(0xFFFD);
        else
            out += static_cast<wchar_t>(u);
    }
    return out;
}

std::string CIniFile::EncodeLine(const std::wstring& strText) const
{
    if (m_encoding != Encoding::Utf16Le)
        return ToUtf8(strText);

    std::string out;
    auto put = [&out](unsigned u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    for (size_t i = 0; i < strText.size(); ++i) {
        auto cp = static_cast<unsigned long>(strText[i]);
        // A surrogate pair of 16-bit wide text (Windows) is one character.
        if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp <= 0xDBFF && i + 1 < strText.size()) {
            const auto low = static_cast<unsigned long>(strText[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            cp = 0xFFFD;
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            put(static_cast<unsigned>(0xD800 + (cp >> 10)));
            put(static_cast<unsigned>(0xDC00 + (cp & 0x3FF)));
        } else {
            put(static_cast<unsigned>(cp));
        }
    }
    return out;
}

void CIniFile::ParseLine(Line& line, const std::wstring& strText) const
{
    line.kind = Kind::Other;
    line.strName.clear();
    line.strValue.clear();

    size_t i = 0;
    while (i < strText.size() && IsBlank(strText[i]))
        ++i;
    if (i >= strText.size() || strText[i] == L';' || strText[i] == L'#')
        return;

    if (strText[i] == L'[') {
        const size_t nClose = strText.rfind(L']');
        if (nClose == std::wstring::npos || nClose < i)
            return;
        line.kind = Kind::Section;
        line.strName = TrimBlanks(strText.substr(i + 1, nClose - i - 1));
        return;
    }

    const size_t nEq = strText.find(L'=', i);
    if (nEq == std::wstring::npos)
        return;
    std::wstring strName = TrimBlanks(strText.substr(i, nEq - i));
    if (strName.empty())
        return;
    std::wstring strValue = TrimBlanks(strText.substr(nEq + 1));
    if (strValue.size() >= 2 && IsQuote(strValue.front()) && strValue.back() == strValue.front())
        strValue = strValue.substr(1, strValue.size() - 2);
    line.kind = Kind::Key;
    line.strName = std::move(strName);
    line.strValue = std::move(strValue);
}

void CIniFile::Parse(const std::string& strBytes)
{
    m_lines.clear();
    m_bTooManyLines = false;
    size_t nPos = 0;
    if (strBytes.size() >= 2 && static_cast<unsigned char>(strBytes[0]) == 0xFF
        && static_cast<unsigned char>(strBytes[1]) == 0xFE) {
        m_encoding = Encoding::Utf16Le;
        nPos = 2;
    } else if (strBytes.size() >= 3 && static_cast<unsigned char>(strBytes[0]) == 0xEF
               && static_cast<unsigned char>(strBytes[1]) == 0xBB && static_cast<unsigned char>(strBytes[2]) == 0xBF) {
        m_encoding = Encoding::Utf8Bom;
        nPos = 3;
    } else {
        m_encoding = Encoding::Utf8;
    }

    const size_t nUnit = m_encoding == Encoding::Utf16Le ? 2 : 1;
    // An odd byte at the end of UTF-16 text is no character; keeping it would
    // misalign every line added after it.
    const size_t nSize = nUnit == 2 ? strBytes.size() - ((strBytes.size() - nPos) % 2) : strBytes.size();
    auto unitAt = [&](size_t p) -> unsigned {
        if (nUnit == 1)
            return static_cast<unsigned char>(strBytes[p]);
        return static_cast<unsigned char>(strBytes[p]) | (static_cast<unsigned char>(strBytes[p + 1]) << 8);
    };

    size_t nStart = nPos;
    while (nStart < nSize) {
        if (m_lines.size() >= kMaxLines) {
            // More lines than any preset holds: unreadable, not kept.
            m_lines.clear();
            m_bTooManyLines = true;
            return;
        }
        size_t p = nStart;
        while (p + nUnit <= nSize && unitAt(p) != L'\n')
            p += nUnit;
        Line line;
        if (p + nUnit > nSize) {
            // Last line without a line feed; a carriage return at its end
            // still ends it, and is replaced when a line is added after it.
            size_t nEnd = nSize;
            if (nEnd >= nStart + nUnit && unitAt(nEnd - nUnit) == L'\r')
                nEnd -= nUnit;
            line.strRaw = strBytes.substr(nStart, nEnd - nStart);
            line.strEol = strBytes.substr(nEnd, nSize - nEnd);
            nStart = nSize;
        } else {
            size_t nEnd = p;
            if (nEnd >= nStart + nUnit && unitAt(nEnd - nUnit) == L'\r')
                nEnd -= nUnit;
            line.strRaw = strBytes.substr(nStart, nEnd - nStart);
            line.strEol = strBytes.substr(nEnd, p + nUnit - nEnd);
            nStart = p + nUnit;
        }
        ParseLine(line, DecodeLine(line.strRaw));
        m_lines.push_back(std::move(line));
    }
}

Status CIniFile::Load(const std::wstring& strPath)
{
    return Load(ToUtf8(strPath));
}

Status CIniFile::Load(const std::string& strNarrow)
{
    m_lines.clear();
    m_encoding = Encoding::Utf8;
    m_bCut = false;

    if (strNarrow.empty())
        return ErrnoFailure(ENOENT);
    std::string strBytes;
    bool bCut = false;
    if (Status read = ReadRegularFile(strNarrow, kMaxFileBytes, strBytes, bCut); !read)
        return read;
    Parse(strBytes);
    if (m_bTooManyLines)
        return ErrnoFailure(EFBIG);
    m_bCut = bCut;
    return Status();
}

// ---- Lookups -------------------------------------------------------------------

std::vector<std::wstring> CIniFile::SectionNames() const
{
    std::vector<std::wstring> names;
    for (const Line& line : m_lines) {
        if (line.kind == Kind::Section)
            names.push_back(line.strName);
    }
    return names;
}

bool CIniFile::HasSectionExact(const std::wstring& strSection) const
{
    for (const Line& line : m_lines) {
        if (line.kind == Kind::Section && line.strName == strSection)
            return true;
    }
    return false;
}

size_t CIniFile::FindSection(const std::wstring& strSection) const
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Section && EqualNoCase(m_lines[i].strName, strSection))
            return i;
    }
    return std::wstring::npos;
}

size_t CIniFile::SectionEnd(size_t nHeader) const
{
    size_t i = nHeader + 1;
    while (i < m_lines.size() && m_lines[i].kind != Kind::Section)
        ++i;
    return i;
}

bool CIniFile::GetValue(const std::wstring& strSection, const std::wstring& strKey, std::wstring& strValue) const
{
    const size_t nHeader = FindSection(strSection);
    if (nHeader == std::wstring::npos)
        return false;
    const size_t nEnd = SectionEnd(nHeader);
    for (size_t i = nHeader + 1; i < nEnd; ++i) {
        if (m_lines[i].kind == Kind::Key && EqualNoCase(m_lines[i].strName, strKey)) {
            strValue = CutToUtf16Units(m_lines[i].strValue, kMaxValueUnits);
            return true;
        }
    }
    return false;
}

std::wstring CIniFile::GetString(const std::wstring& strSection, const std::wstring& strKey,
                                 const std::wstring& strDefault) const
{
    std::wstring strValue;
    if (GetValue(strSection, strKey, strValue))
        return strValue;
    return strDefault;
}

// ---- Updates ---------------------------------------------------------------------

bool CIniFile::IsTerminated(const Line& line) const
{
    return !line.strEol.empty() && line.strEol != EncodeLine(L"\r");
}

// Gives a line without a line feed of its own the line end strEol. Its text
// keeps a carriage return it ends in: that one is followed by CR LF, since
// before a lone line feed it would read as part of the line end.
void CIniFile::Terminate(Line& line, const std::string& strEol) const
{
    const std::string strCr = EncodeLine(L"\r");
    const bool bTextEndsInCr = line.strRaw.size() >= strCr.size()
        && line.strRaw.compare(line.strRaw.size() - strCr.size(), strCr.size(), strCr) == 0;
    line.strEol = bTextEndsInCr ? EncodeLine(L"\r\n") : strEol;
}

std::string CIniFile::NewLineEnd() const
{
    for (const Line& line : m_lines) {
        if (IsTerminated(line))
            return line.strEol;
    }
    return EncodeLine(L"\r\n");
}

bool CIniFile::SetValue(const std::wstring& strSection, const std::wstring& strKey, const std::wstring& strValue)
{
    if (HasLineBreak(strSection) || HasLineBreak(strKey) || HasLineBreak(strValue))
        return false;

    std::wstring strStored = strValue;
    const bool bNeedsQuotes = !strValue.empty()
        && (IsBlank(strValue.front()) || IsBlank(strValue.back())
            || (strValue.size() >= 2 && IsQuote(strValue.front()) && strValue.back() == strValue.front()));
    if (bNeedsQuotes)
        strStored = L"\"" + strValue + L"\"";

    const std::string strEol = NewLineEnd();
    size_t nHeader = FindSection(strSection);
    if (nHeader == std::wstring::npos) {
        // New section at the end, set off from earlier content by a blank line.
        if (!m_lines.empty()) {
            if (!IsTerminated(m_lines.back()))
                Terminate(m_lines.back(), strEol);
            if (!DecodeLine(m_lines.back().strRaw).empty() || m_lines.back().kind != Kind::Other) {
                Line blank;
                blank.strEol = strEol;
                m_lines.push_back(std::move(blank));
            }
        }
        Line header;
        header.strRaw = EncodeLine(L"[" + strSection + L"]");
        header.strEol = strEol;
        header.kind = Kind::Section;
        header.strName = strSection;
        m_lines.push_back(std::move(header));
        nHeader = m_lines.size() - 1;
    }

    const size_t nEnd = SectionEnd(nHeader);
    size_t nLastKey = nHeader;
    for (size_t i = nHeader + 1; i < nEnd; ++i) {
        if (m_lines[i].kind != Kind::Key)
            continue;
        if (EqualNoCase(m_lines[i].strName, strKey)) {
            Line& line = m_lines[i];
            line.strRaw = EncodeLine(line.strName + L"=" + strStored);
            line.strValue = strValue;
            return true;
        }
        nLastKey = i;
    }

    Line line;
    line.strRaw = EncodeLine(strKey + L"=" + strStored);
    line.strEol = strEol;
    line.kind = Kind::Key;
    line.strName = strKey;
    line.strValue = strValue;
    if (!IsTerminated(m_lines[nLastKey]))
        Terminate(m_lines[nLastKey], strEol);
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(nLastKey + 1), std::move(line));
    return true;
}

std::string CIniFile::Serialize() const
{
    std::string out;
    if (m_encoding == Encoding::Utf16Le)
        out = "\xFF\xFE";
    else if (m_encoding == Encoding::Utf8Bom)
        out = "\xEF\xBB\xBF";
    for (const Line& line : m_lines) {
        out += line.strRaw;
        out += line.strEol;
    }
    return out;
}

// ---- File-level operations ---------------------------------------------------------

std::wstring PresetValueProblem(const std::wstring& strValue)
{
    if (HasLineBreak(strValue))
        return L"holds a line break";
    for (wchar_t wc : strValue) {
        const auto nCode = static_cast<unsigned long>(wc);
        if ((nCode < 0x20 && wc != L'\t') || nCode == 0x7F) {
            static const wchar_t kHex[] = L"0123456789ABCDEF";
            const std::wstring strCode = {L'0', L'0', kHex[(nCode >> 4) & 0xF], kHex[nCode & 0xF]};
            return L"holds a control character (U+" + strCode + L")";
        }
    }
    return std::wstring();
}

std::wstring UnstorableValueReason(const IniValues& values, const std::wstring& strWhere)
{
    for (const auto& kv : values) {
        const std::wstring strProblem = PresetValueProblem(kv.second);
        if (!strProblem.empty()) {
            const std::wstring strIn = strWhere.empty() ? std::wstring() : L" in " + strWhere;
            return L"The value of " + kv.first + strIn + L" " + strProblem + L", which a preset file cannot store.";
        }
    }
    return std::wstring();
}

Status UpdateIniFile(const std::wstring& strPath, const std::wstring& strSection, const IniValues& values)
{
    return UpdateIniFile(strPath, IniSections{{strSection, values}});
}

Status UpdateIniFile(const std::wstring& strPath, const IniSections& sections)
{
    for (const auto& section : sections) {
        std::wstring strReason = UnstorableValueReason(section.second);
        if (!strReason.empty())
            return Failure{FailureKind::InvalidData, 0, std::move(strReason)};
    }

    std::string strTarget = ToUtf8(strPath);
    if (strTarget.empty())
        return ErrnoFailure(ENOENT);

    // Update the file a link points to, not the link.
    strTarget = ResolveTarget(strTarget);

    CIniFile ini;
    FileFacts facts;
    if (Status checked = CheckReplaceable(strTarget, CIniFile::kMaxFileBytes, facts); !checked)
        return checked;
    if (facts.bExists) {
        if (Status loaded = ini.Load(strTarget); !loaded)
            return loaded;
        if (ini.WasCut())
            return ErrnoFailure(EFBIG);
    }

    for (const auto& section : sections) {
        for (const auto& kv : section.second)
            ini.SetValue(section.first, kv.first, kv.second);
    }

    return ReplaceFileContents(strTarget, ini.Serialize(), facts);
}
