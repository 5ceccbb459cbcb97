#pragma once
// The rules a form must pass before it is written to the unit. Display-free:
// the window hands in the controls' texts and shows the failure it gets back.

#include <array>
#include <optional>
#include <string>

#include "core/Records.h"

// The texts the rules look at, as the controls hold them.
struct ValidationInput {
    std::array<std::wstring, kWwanCount> arrApn;
    std::array<std::wstring, kWwanCount> arrUserName;
    std::array<std::wstring, kWwanCount> arrPassword;
    std::wstring strSsid;
    std::wstring strPassphrase;
    int nKeyFormat = -1; // selection of the Key Format list, -1 for none
};

enum class ValidationField { Apn, UserName, Password, Ssid, Passphrase };

// The first field that fails.
struct ValidationFailure {
    int nNo = 0; // group number: 0..3 WWAN1..WWAN4, 4 Wi-Fi
    ValidationField field = ValidationField::Apn;
    std::wstring strMessage; // the reason, e.g. "Please enter 32 characters or less."
    std::wstring strText;    // the box text: the field's line, "\n", the reason
};

extern const wchar_t* const kMsgNotAscii;
extern const wchar_t* const kMsgTooLong;
extern const wchar_t* const kMsgAsciiLength;
extern const wchar_t* const kMsgNotHex;
extern const wchar_t* const kMsgHexLength;

// Every UTF-16 unit printable ASCII other than the space (0x21 to 0x7E): no
// control character, line ends included, can reach the unit's command line.
// The empty text passes.
bool IsAsciiWithoutSpaces(const std::wstring& strText);

// Checks the WWAN groups 1 to 4 (APN, User Name, Password each), the SSID and
// then the passphrase, and returns the first failure, or nothing when every
// field passes. Lengths count UTF-16 units.
std::optional<ValidationFailure> FindInvalidField(const ValidationInput& input);
