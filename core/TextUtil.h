#pragma once
// Conversions between the program's wide text and the narrow texts of the log,
// the wire and the file system. Display-free.

#include <string>

// Wide text to UTF-8 (log lines, file paths). Code points that cannot be
// encoded become U+FFFD.
std::string ToUtf8(const std::wstring& str);

// UTF-8 to wide text. Bytes that are not valid UTF-8 are taken as Latin-1,
// one character per byte.
std::wstring FromUtf8(const std::string& str);

// Received bytes to wide text, one character per byte with the same code
// (byte 0xE9 becomes U+00E9).
std::wstring WidenBytes(const char* pBytes, size_t nCount);

// Length of a wide text in UTF-16 code units: characters outside the Basic
// Multilingual Plane count two.
size_t Utf16Length(const std::wstring& str);

// The first nMaxUnits UTF-16 code units of a text, never splitting a
// character that takes two.
std::wstring CutToUtf16Units(const std::wstring& str, size_t nMaxUnits);

// Letters A to Z folded to a to z; every other character stays.
inline wchar_t AsciiLower(wchar_t wc)
{
    return (wc >= L'A' && wc <= L'Z') ? static_cast<wchar_t>(wc - L'A' + L'a') : wc;
}
