// The UTF-16 preset text on every system: a character outside the Basic
// Multilingual Plane (a surrogate pair in the file) reads as that character
// and is written back as the same pair, whatever the width of wchar_t.
#include <string>

#include <gtest/gtest.h>

#include "core/TextUtil.h"
#include "presets/IniFile.h"

namespace {

std::string Utf16Le(const std::u16string& str)
{
    std::string out = "\xFF\xFE";
    for (char16_t u : str) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

} // namespace

TEST(IniUtf16, CharacterOutsideTheBmpSurvivesReadingAndWriting)
{
    CIniFile ini;
    ini.Parse(Utf16Le(u"[Wi-Fi]\r\nSSID=a\U0001F600b\r\n"));
    const std::wstring strFace = FromUtf8("\xF0\x9F\x98\x80"); // U+1F600
    EXPECT_EQ(ini.GetString(L"Wi-Fi", L"SSID", L""), L"a" + strFace + L"b");
    // Both UTF-16 units of the character count against the value's limit.
    EXPECT_EQ(Utf16Length(strFace), 2u);

    ASSERT_TRUE(ini.SetValue(L"Wi-Fi", L"PASSWORD", strFace + L"\u00E9" + FromUtf8("\xF0\xA0\x80\x80")));
    EXPECT_EQ(ini.Serialize(), Utf16Le(u"[Wi-Fi]\r\nSSID=a\U0001F600b\r\nPASSWORD=\U0001F600\u00E9\U00020000\r\n"));
}
