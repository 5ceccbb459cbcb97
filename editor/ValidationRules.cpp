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

ValidationFailure MakeFailure(int nNo, ValidationField field, const std::wstring& strLine, const wchar_t* pszMessage)
{
    ValidationFailure failure;
    failure.nNo = nNo;
    failure.field = field;
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
    for (int nNo = 0; nNo < kWwanCount; ++nNo) {
        const std::wstring strGroup = L"WWAN " + std::to_wstring(nNo + 1) + L" - ";
        const struct {
            const std::wstring& strText;
            ValidationField field;
            const wchar_t* pszName;
        } fields[] = {
            {input.arrApn[static_cast<size_t>(nNo)], ValidationField::Apn, L"APN"},
            {input.arrUserName[static_cast<size_t>(nNo)], ValidationField::UserName, L"User Name"},
            {input.arrPassword[static_cast<size_t>(nNo)], ValidationField::Password, L"Password"},
        };
        for (const auto& f : fields) {
            if (const wchar_t* pszMessage = CheckShortText(f.strText))
                return MakeFailure(nNo, f.field, strGroup + f.pszName, pszMessage);
        }
    }

    if (const wchar_t* pszMessage = CheckShortText(input.strSsid))
        return MakeFailure(kWifiGroup, ValidationField::Ssid, L"Wi-Fi - SSID", pszMessage);

    const std::wstring& strPass = input.strPassphrase;
    if (strPass.empty())
        return std::nullopt;
    const size_t nUnits = Utf16Length(strPass);
    if (input.nKeyFormat == 0) {
        const std::wstring strLine = L"Wi-Fi - Passphrase (ASCII)";
        if (nUnits < kMinAsciiPassphrase || nUnits > kMaxAsciiPassphrase)
            return MakeFailure(kWifiGroup, ValidationField::Passphrase, strLine, kMsgAsciiLength);
        if (!IsAsciiWithoutSpaces(strPass))
            return MakeFailure(kWifiGroup, ValidationField::Passphrase, strLine, kMsgNotAscii);
    } else {
        const std::wstring strLine = L"Wi-Fi - Passphrase (HEX)";
        if (nUnits != kHexPassphrase)
            return MakeFailure(kWifiGroup, ValidationField::Passphrase, strLine, kMsgHexLength);
        for (wchar_t wc : strPass) {
            if (!IsHexDigit(wc))
                return MakeFailure(kWifiGroup, ValidationField::Passphrase, strLine, kMsgNotHex);
        }
    }
    return std::nullopt;
}
