#include "editor/ValidationRules.h"

#include "core/TextUtil.h"

const wchar_t* const kMsgNotAscii = L"Please enter only ASCII characters other than spaces.";
const wchar_t* const kMsgTooLong = L"Please enter 32 characters or less.";
const wchar_t* const kMsgAsciiLength = L"Please enter characters length of 8 to 63.";
const wchar_t* const kMsgNotHex = L"Please enter only hexadecimal characters.";
const wchar_t* const kMsgHexLength = L"Please enter 64 digits.";

namespace {

constexpr size_t kMaxTextUnits = 32;
constexpr size_t kMinAsciiPassphrase = 8;
constexpr size_t kMaxAsciiPassphrase = 63;
constexpr size_t kHexPassphrase = 64;

bool IsHexDigit(wchar_t wc)
{
    return (wc >= L'0' && wc <= L'9') || (wc >= L'A' && wc <= L'F') || (wc >= L'a' && wc <= L'f');
}

ValidationFailure MakeFailure(const WireField& field, const std::wstring& strLine, const wchar_t* pszMessage)
{
    ValidationFailure failure;
    failure.nNo = field.nGroup;
    failure.pField = &field;
    failure.strMessage = pszMessage;
    failure.strText = strLine + L"\n" + pszMessage;
    return failure;
}

// The rule of the WWAN texts and the SSID: characters first, then length.
const wchar_t* CheckShortText(const std::wstring& strText)
{
    if (!IsAsciiWithoutSpaces(strText))
        return kMsgNotAscii;
    if (Utf16Length(strText) > kMaxTextUnits)
        return kMsgTooLong;
    return nullptr;
}

// The passphrase's rule, by the Key Format selection: ASCII (0) checks length
// then characters, anything else is HEX.
const wchar_t* CheckPassphrase(const std::wstring& strPass, int nKeyFormat)
{
    if (strPass.empty())
        return nullptr;
    const size_t nUnits = Utf16Length(strPass);
    if (nKeyFormat == 0) {
        if (nUnits < kMinAsciiPassphrase || nUnits > kMaxAsciiPassphrase)
            return kMsgAsciiLength;
        if (!IsAsciiWithoutSpaces(strPass))
            return kMsgNotAscii;
        return nullptr;
    }
    if (nUnits != kHexPassphrase)
        return kMsgHexLength;
    for (wchar_t wc : strPass) {
        if (!IsHexDigit(wc))
            return kMsgNotHex;
    }
    return nullptr;
}

} // namespace

bool IsAsciiWithoutSpaces(const std::wstring& strText)
{
    for (wchar_t wc : strText) {
        // A character outside the BMP is two units, both >= 128.
        const unsigned long nCode = static_cast<unsigned long>(wc);
        if (nCode <= 0x20 || nCode >= 0x7F)
            return false;
    }
    return true;
}

std::optional<ValidationFailure> FindInvalidField(const ValidationInput& input)
{
    for (const WireField& field : WireFields()) {
        const wchar_t* pszMessage = nullptr;
        std::wstring strLine =
            field.IsWifi() ? std::wstring(L"Wi-Fi - ") : L"WWAN " + std::to_wstring(field.nGroup + 1) + L" - ";
        strLine += field.pszFormName ? field.pszFormName : L"";
        switch (field.textRule) {
        case TextRule::None:
            continue;
        case TextRule::Short:
            pszMessage = CheckShortText(field.In(input.texts));
            break;
        case TextRule::Passphrase:
            pszMessage = CheckPassphrase(field.In(input.texts), input.nKeyFormat);
            strLine += input.nKeyFormat == 0 ? L" (ASCII)" : L" (HEX)";
            break;
        }
        if (pszMessage)
            return MakeFailure(field, strLine, pszMessage);
    }
    return std::nullopt;
}
