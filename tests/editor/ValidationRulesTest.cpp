#include <gtest/gtest.h>

#include "editor/ValidationRules.h"

namespace {

// Every field valid: the rules must find nothing.
ValidationInput ValidForm()
{
    ValidationInput input;
    for (int n = 0; n < kWwanCount; ++n) {
        input.arrApn[static_cast<size_t>(n)] = L"internet";
        input.arrUserName[static_cast<size_t>(n)] = L"user";
        input.arrPassword[static_cast<size_t>(n)] = L"secret";
    }
    input.strSsid = L"Home-Net";
    input.strPassphrase = L"12345678";
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
    input.strSsid = std::wstring(32, L'S');
    input.arrApn[3] = std::wstring(32, L'a');
    input.arrPassword[1] = L"!~";
    EXPECT_FALSE(FindInvalidField(input).has_value());
}

TEST(ValidationRules, ControlCharactersAreInvalidInEveryTextField)
{
    // A line end, or any other control character, would end or corrupt the
    // command line the value is sent in.
    for (const wchar_t* pszBad : {L"internet\rfe", L"a\nb", L"a\tb", L"\x01", L"del\x7F"}) {
        ValidationInput input = ValidForm();
        input.arrApn[0] = pszBad;
        EXPECT_EQ(BoxText(input), L"WWAN 1 - APN\nPlease enter only ASCII characters other than spaces.");
        input = ValidForm();
        input.arrUserName[2] = pszBad;
        EXPECT_EQ(BoxText(input), L"WWAN 3 - User Name\nPlease enter only ASCII characters other than spaces.");
        input = ValidForm();
        input.arrPassword[3] = pszBad;
        EXPECT_EQ(BoxText(input), L"WWAN 4 - Password\nPlease enter only ASCII characters other than spaces.");
        input = ValidForm();
        input.strSsid = pszBad;
        EXPECT_EQ(BoxText(input), L"Wi-Fi - SSID\nPlease enter only ASCII characters other than spaces.");
        input = ValidForm();
        input.strPassphrase = std::wstring(L"12345678") + pszBad;
        EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (ASCII)\nPlease enter only ASCII characters other than spaces.");
    }
}

TEST(ValidationRules, ShortTextsCheckCharactersThenLength)
{
    ValidationInput input = ValidForm();
    input.arrApn[0] = std::wstring(33, L'a');
    auto failure = FindInvalidField(input);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->strText, L"WWAN 1 - APN\nPlease enter 32 characters or less.");
    EXPECT_EQ(failure->strMessage, kMsgTooLong);
    EXPECT_EQ(failure->nNo, 0);
    EXPECT_EQ(failure->field, ValidationField::Apn);

    // 40 characters with a space: the character rule comes first.
    input.arrApn[0] = std::wstring(20, L'a') + L" " + std::wstring(19, L'b');
    EXPECT_EQ(BoxText(input), L"WWAN 1 - APN\nPlease enter only ASCII characters other than spaces.");

    input = ValidForm();
    input.arrUserName[2] = L"jos\u00E9";
    failure = FindInvalidField(input);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->strText, L"WWAN 3 - User Name\nPlease enter only ASCII characters other than spaces.");
    EXPECT_EQ(failure->nNo, 2);
    EXPECT_EQ(failure->field, ValidationField::UserName);

    input = ValidForm();
    input.strSsid = std::wstring(33, L's');
    failure = FindInvalidField(input);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->strText, L"Wi-Fi - SSID\nPlease enter 32 characters or less.");
    EXPECT_EQ(failure->nNo, kWifiGroup);
    EXPECT_EQ(failure->field, ValidationField::Ssid);
}

TEST(ValidationRules, LengthsCountUtf16Units)
{
    // A character outside the BMP counts two units; it also fails the
    // character rule, which is checked first for the short texts.
    ValidationInput input = ValidForm();
    input.arrPassword[1] = L"\U0001F600";
    EXPECT_EQ(BoxText(input), L"WWAN 2 - Password\nPlease enter only ASCII characters other than spaces.");

    // ASCII passphrase: 4 such characters are 8 units, so the length rule
    // passes and the character rule reports.
    input = ValidForm();
    input.strPassphrase = L"\U0001F600\U0001F600\U0001F600\U0001F600";
    EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (ASCII)\nPlease enter only ASCII characters other than spaces.");
    input.strPassphrase = L"abcdef\U0001F600"; // 8 units, 7 characters
    EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (ASCII)\nPlease enter only ASCII characters other than spaces.");
    input.strPassphrase = std::wstring(62, L'a') + L"\U0001F600"; // 64 units
    EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (ASCII)\nPlease enter characters length of 8 to 63.");

    // HEX: 63 characters of which one is outside the BMP make 64 units, so
    // the length passes and the digit rule reports.
    input.nKeyFormat = 1;
    input.strPassphrase = kHex64.substr(0, 62) + L"\U0001F600";
    EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (HEX)\nPlease enter only hexadecimal characters.");
}

TEST(ValidationRules, FirstFailureInFixedOrder)
{
    // A space in the WWAN1 password and an over-long WWAN2 APN: WWAN1 wins.
    ValidationInput input = ValidForm();
    input.arrPassword[0] = L"pass word";
    input.arrApn[1] = std::wstring(40, L'a');
    input.strSsid = L"bad ssid";
    input.strPassphrase = L"short";
    auto failure = FindInvalidField(input);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->strText, L"WWAN 1 - Password\nPlease enter only ASCII characters other than spaces.");
    EXPECT_EQ(failure->field, ValidationField::Password);

    // Any WWAN failure, even in the last field of WWAN4, comes before Wi-Fi.
    input = ValidForm();
    input.arrPassword[3] = std::wstring(33, L'p');
    input.strSsid = L"bad ssid";
    EXPECT_EQ(BoxText(input), L"WWAN 4 - Password\nPlease enter 32 characters or less.");

    // Within a group: APN, then User Name, then Password.
    input = ValidForm();
    input.arrUserName[1] = L"a b";
    input.arrPassword[1] = L"a b";
    EXPECT_EQ(BoxText(input), L"WWAN 2 - User Name\nPlease enter only ASCII characters other than spaces.");

    // The SSID comes before the passphrase.
    input = ValidForm();
    input.strSsid = L"bad ssid";
    input.strPassphrase = L"x";
    EXPECT_EQ(BoxText(input), L"Wi-Fi - SSID\nPlease enter only ASCII characters other than spaces.");
}

TEST(ValidationRules, AsciiPassphrase)
{
    ValidationInput input = ValidForm();
    const std::wstring kLen = L"Wi-Fi - Passphrase (ASCII)\nPlease enter characters length of 8 to 63.";
    input.strPassphrase = std::wstring(7, L'p');
    EXPECT_EQ(BoxText(input), kLen);
    input.strPassphrase = std::wstring(8, L'p');
    EXPECT_EQ(BoxText(input), L"<pass>");
    input.strPassphrase = std::wstring(63, L'p');
    EXPECT_EQ(BoxText(input), L"<pass>");
    input.strPassphrase = kHex64; // 64 hex digits are still too long for ASCII
    EXPECT_EQ(BoxText(input), kLen);
    input.strPassphrase = L"a b c"; // length is checked before characters here
    EXPECT_EQ(BoxText(input), kLen);
    input.strPassphrase = L"pass word";
    auto failure = FindInvalidField(input);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->strText, L"Wi-Fi - Passphrase (ASCII)\nPlease enter only ASCII characters other than spaces.");
    EXPECT_EQ(failure->field, ValidationField::Passphrase);
    EXPECT_EQ(failure->nNo, kWifiGroup);
}

TEST(ValidationRules, HexPassphraseAndNoSelection)
{
    for (int nKeyFormat : {1, -1}) {
        SCOPED_TRACE(nKeyFormat);
        ValidationInput input = ValidForm();
        input.nKeyFormat = nKeyFormat;
        input.strPassphrase = kHex64; // mixed case
        EXPECT_EQ(BoxText(input), L"<pass>");
        input.strPassphrase = kHex64.substr(0, 63);
        EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (HEX)\nPlease enter 64 digits.");
        input.strPassphrase = kHex64 + L"0";
        EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (HEX)\nPlease enter 64 digits.");
        input.strPassphrase = kHex64.substr(0, 63) + L"g";
        EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (HEX)\nPlease enter only hexadecimal characters.");
        input.strPassphrase = L" " + kHex64.substr(1);
        EXPECT_EQ(BoxText(input), L"Wi-Fi - Passphrase (HEX)\nPlease enter only hexadecimal characters.");
        // An empty passphrase passes whatever the key format.
        input.strPassphrase.clear();
        EXPECT_EQ(BoxText(input), L"<pass>");
    }
}
