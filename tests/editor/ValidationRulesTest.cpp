#include <gtest/gtest.h>

#include "editor/ValidationRules.h"

namespace {

// Every field valid: the rules must find nothing.
ValidationInput ValidForm()
{
    ValidationInput input;
    for (int n = 0; n < kWwanCount; ++n) {
        input.texts.wwan[static_cast<size_t>(n)].strApn = L"internet";
        input.texts.wwan[static_cast<size_t>(n)].strUserName = L"user";
        input.texts.wwan[static_cast<size_t>(n)].strPassword = L"secret";
    }
    input.texts.wifi.strSsid = L"Home-Net";
    input.texts.wifi.strPassphrase = L"12345678";
    input.nKeyFormat = 0;
    return input;
}

std::wstring BoxText(const ValidationInput& input)
{
    const auto failure = FindInvalidField(input);
    return failure ? failure->strText : L"<pass>";
}

const std::wstring kHex64 = L"0123456789abcdefABCDEF0123456789abcdefABCDEF0123456789abcdef0123";

} // namespace

TEST(ValidationRules, EmptyAndValidFormsPass)
{
    EXPECT_FALSE(FindInvalidField(ValidationInput{}).has_value());
    EXPECT_FALSE(FindInvalidField(ValidForm()).has_value());
    ValidationInput input = ValidForm();
    input.texts.wifi.strSsid = std::wstring(32, L'S');
    input.texts.wwan[3].strApn = std::wstring(32, L'a');
    input.texts.wwan[1].strPassword = L"!~";
    EXPECT_FALSE(FindInvalidField(input).has_value());
}

TEST(ValidationRules, ControlCharactersAreInvalidInEveryTextField)
{
    // A line end, or any other control character, would end or corrupt the
    // command line the value is sent in.
    for (const wchar_t* pszBad : {L"internet\rfe", L"a\nb", L"a\tb", L"\x01", L"del\x7F"}) {
        ValidationInput input = ValidForm();
        input.texts.wwan[0].strApn = pszBad;
        EXPECT_EQ(BoxText(input), L"WWAN 1 - APN\nPlease enter only ASCII characters other than spaces.");
        input = ValidForm();
        input.texts.wwan[2].strUserName = pszBad;
        EXPECT_EQ(BoxText(input), L"WWAN 3 - User Name\nPlease enter only ASCII characters other than spaces.");
        input = ValidForm();
        input.texts.wwan[3].strPassword = pszBad;
        EXPECT_EQ(BoxText(input), L"WWAN 4 - Password\nPlease enter only ASCII characters other than spaces.");
        input = ValidForm();
        input.texts.wifi.strSsid = pszBad;
        EXPECT_EQ(BoxText(input), L"Wi-Fi - SSID\nPlease enter only ASCII characters other than spaces.");
        input = ValidForm();
        input.texts.wifi.strPassphrase = std::wstring(L"12345678") + pszBad;
        EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (ASCII)\nPlease enter only ASCII characters other than spaces.");
    }
}

TEST(ValidationRules, ShortTextsCheckCharactersThenLength)
{
    ValidationInput input = ValidForm();
    input.texts.wwan[0].strApn = std::wstring(33, L'a');
    auto failure = FindInvalidField(input);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->strText, L"WWAN 1 - APN\nPlease enter 32 characters or less.");
    EXPECT_EQ(failure->strMessage, kMsgTooLong);
    EXPECT_EQ(failure->nNo, 0);
    EXPECT_STREQ(failure->pField->pszCtlName, "apn");

    // 40 characters with a space: the character rule comes first.
    input.texts.wwan[0].strApn = std::wstring(20, L'a') + L" " + std::wstring(19, L'b');
    EXPECT_EQ(BoxText(input), L"WWAN 1 - APN\nPlease enter only ASCII characters other than spaces.");

    input = ValidForm();
    input.texts.wwan[2].strUserName = L"jos\u00E9";
    failure = FindInvalidField(input);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->strText, L"WWAN 3 - User Name\nPlease enter only ASCII characters other than spaces.");
    EXPECT_EQ(failure->nNo, 2);
    EXPECT_STREQ(failure->pField->pszCtlName, "username");

    input = ValidForm();
    input.texts.wifi.strSsid = std::wstring(33, L's');
    failure = FindInvalidField(input);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->strText, L"Wi-Fi - SSID\nPlease enter 32 characters or less.");
    EXPECT_EQ(failure->nNo, kWifiGroup);
    EXPECT_STREQ(failure->pField->pszCtlName, "ssid");
}

TEST(ValidationRules, LengthsCountUtf16Units)
{
    // A character outside the BMP counts two units; it also fails the
    // character rule, which is checked first for the short texts.
    ValidationInput input = ValidForm();
    input.texts.wwan[1].strPassword = L"\U0001F600";
    EXPECT_EQ(BoxText(input), L"WWAN 2 - Password\nPlease enter only ASCII characters other than spaces.");

    // ASCII passphrase: 4 such characters are 8 units, so the length rule
    // passes and the character rule reports.
    input = ValidForm();
    input.texts.wifi.strPassphrase = L"\U0001F600\U0001F600\U0001F600\U0001F600";
    EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (ASCII)\nPlease enter only ASCII characters other than spaces.");
    input.texts.wifi.strPassphrase = L"abcdef\U0001F600"; // 8 units, 7 characters
    EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (ASCII)\nPlease enter only ASCII characters other than spaces.");
    input.texts.wifi.strPassphrase = std::wstring(62, L'a') + L"\U0001F600"; // 64 units
    EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (ASCII)\nPlease enter characters length of 8 to 63.");

    // HEX: 63 characters of which one is outside the BMP make 64 units, so
    // the length passes and the digit rule reports.
    input.nKeyFormat = 1;
    input.texts.wifi.strPassphrase = kHex64.substr(0, 62) + L"\U0001F600";
    EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (HEX)\nPlease enter only hexadecimal characters.");
}

TEST(ValidationRules, FirstFailureInFixedOrder)
{
    // A space in the WWAN1 password and an over-long WWAN2 APN: WWAN1 wins.
    ValidationInput input = ValidForm();
    input.texts.wwan[0].strPassword = L"pass word";
    input.texts.wwan[1].strApn = std::wstring(40, L'a');
    input.texts.wifi.strSsid = L"bad ssid";
    input.texts.wifi.strPassphrase = L"short";
    auto failure = FindInvalidField(input);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->strText, L"WWAN 1 - Password\nPlease enter only ASCII characters other than spaces.");
    EXPECT_STREQ(failure->pField->pszCtlName, "password");

    // Any WWAN failure, even in the last field of WWAN4, comes before Wi-Fi.
    input = ValidForm();
    input.texts.wwan[3].strPassword = std::wstring(33, L'p');
    input.texts.wifi.strSsid = L"bad ssid";
    EXPECT_EQ(BoxText(input), L"WWAN 4 - Password\nPlease enter 32 characters or less.");

    // Within a group: APN, then User Name, then Password.
    input = ValidForm();
    input.texts.wwan[1].strUserName = L"a b";
    input.texts.wwan[1].strPassword = L"a b";
    EXPECT_EQ(BoxText(input), L"WWAN 2 - User Name\nPlease enter only ASCII characters other than spaces.");

    // The SSID comes before the passphrase.
    input = ValidForm();
    input.texts.wifi.strSsid = L"bad ssid";
    input.texts.wifi.strPassphrase = L"x";
    EXPECT_EQ(BoxText(input), L"Wi-Fi - SSID\nPlease enter only ASCII characters other than spaces.");
}

TEST(ValidationRules, AsciiPassphrase)
{
    ValidationInput input = ValidForm();
    const std::wstring kLen = L"Wi-Fi - Passphrase (ASCII)\nPlease enter characters length of 8 to 63.";
    input.texts.wifi.strPassphrase = std::wstring(7, L'p');
    EXPECT_EQ(BoxText(input), kLen);
    input.texts.wifi.strPassphrase = std::wstring(8, L'p');
    EXPECT_EQ(BoxText(input), L"<pass>");
    input.texts.wifi.strPassphrase = std::wstring(63, L'p');
    EXPECT_EQ(BoxText(input), L"<pass>");
    input.texts.wifi.strPassphrase = kHex64; // 64 hex digits are still too long for ASCII
    EXPECT_EQ(BoxText(input), kLen);
    input.texts.wifi.strPassphrase = L"a b c"; // length is checked before characters here
    EXPECT_EQ(BoxText(input), kLen);
    input.texts.wifi.strPassphrase = L"pass word";
    auto failure = FindInvalidField(input);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->strText, L"Wi-Fi - Passphrase (ASCII)\nPlease enter only ASCII characters other than spaces.");
    EXPECT_STREQ(failure->pField->pszCtlName, "passphrase");
    EXPECT_EQ(failure->nNo, kWifiGroup);
}

TEST(ValidationRules, HexPassphraseAndNoSelection)
{
    for (int nKeyFormat : {1, -1}) {
        SCOPED_TRACE(nKeyFormat);
        ValidationInput input = ValidForm();
        input.nKeyFormat = nKeyFormat;
        input.texts.wifi.strPassphrase = kHex64; // mixed case
        EXPECT_EQ(BoxText(input), L"<pass>");
        input.texts.wifi.strPassphrase = kHex64.substr(0, 63);
        EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (HEX)\nPlease enter 64 digits.");
        input.texts.wifi.strPassphrase = kHex64 + L"0";
        EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (HEX)\nPlease enter 64 digits.");
        input.texts.wifi.strPassphrase = kHex64.substr(0, 63) + L"g";
        EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (HEX)\nPlease enter only hexadecimal characters.");
        input.texts.wifi.strPassphrase = L" " + kHex64.substr(1);
        EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (HEX)\nPlease enter only hexadecimal characters.");
        // An empty passphrase passes whatever the key format.
        input.texts.wifi.strPassphrase.clear();
        EXPECT_EQ(BoxText(input), L"<pass>");
    }
}
