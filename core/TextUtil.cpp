#include "core/TextUtil.h"

std::string ToUtf8(const std::wstring& str)
{
    std::string out;
    out.reserve(str.size());
    for (size_t i = 0; i < str.size(); ++i) {
        auto cp = static_cast<unsigned long>(str[i]);
        // Where wide text is UTF-16 (Windows), a surrogate pair is one
        // character.
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < str.size()) {
                const auto low = static_cast<unsigned long>(str[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            cp = 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

namespace {

// Length of the valid UTF-8 sequence at str[i], or 0 when it is not valid.
size_t Utf8SequenceAt(const std::string& str, size_t i, unsigned long& cp)
{
    const auto b0 = static_cast<unsigned char>(str[i]);
    size_t n;
    unsigned long min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        n = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > str.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(str[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

std::wstring FromUtf8(const std::string& str)
{
    std::wstring out;
    out.reserve(str.size());
    for (size_t i = 0; i < str.size();) {
        unsigned long cp = 0;
        const size_t n = Utf8SequenceAt(str, i, cp);
        if (n == 0) {
            out += static_cast<wchar_t>(static_cast<unsigned char>(str[i]));
            ++i;
        } else {
            if constexpr (sizeof(wchar_t) == 2) {
                if (cp > 0xFFFF) {
                    out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
                    out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
                    i += n;
                    continue;
                }
            }
            out += static_cast<wchar_t>(cp);
            i += n;
        }
    }
    return out;
}

std::wstring WidenBytes(const char* pBytes, size_t nCount)
{
    std::wstring out;
    out.reserve(nCount);
    for (size_t i = 0; i < nCount; ++i)
        out += static_cast<wchar_t>(static_cast<unsigned char>(pBytes[i]));
    return out;
}

namespace {

size_t Utf16Units(wchar_t wc)
{
    // Where wide text is UTF-16 (Windows) every character is one unit here.
    return (static_cast<unsigned long>(wc) >> 16) != 0 ? 2 : 1;
}

bool IsHighSurrogate(wchar_t wc)
{
    return static_cast<unsigned long>(wc) >= 0xD800 && static_cast<unsigned long>(wc) <= 0xDBFF;
}

} // namespace

size_t Utf16Length(const std::wstring& str)
{
    size_t n = 0;
    for (wchar_t wc : str)
        n += Utf16Units(wc);
    return n;
}

std::wstring CutToUtf16Units(const std::wstring& str, size_t nMaxUnits)
{
    size_t nUnits = 0;
    size_t i = 0;
    for (; i < str.size() && nUnits + Utf16Units(str[i]) <= nMaxUnits; ++i)
        nUnits += Utf16Units(str[i]);
    // Never between the two halves of a surrogate pair.
    if (i > 0 && i < str.size() && IsHighSurrogate(str[i - 1]))
        --i;
    return str.substr(0, i);
}
