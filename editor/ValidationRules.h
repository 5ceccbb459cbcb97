#pragma once
// The rules a form must pass before it is written to the unit. Display-free:
// the window hands in the controls' texts and shows the failure it gets back.

#include <optional>
#include <string>

#include "core/Records.h"
#include "protocol/WireFields.h"

// The texts the rules look at, as the controls hold them: each free-text
// field of the catalogue (a TextRule other than None) in its record member.
struct ValidationInput {
    UnitSettings texts;  // the index members are not looked at
    int nKeyFormat = -1; // selection of the Key Format list, -1 for none
};

// The first field that fails.
struct ValidationFailure {
    int nNo = 0;                       // group number: 0..3 WWAN1..WWAN4, 4 Wi-Fi
    const WireField* pField = nullptr; // the catalogue's field
    std::wstring strMessage;           // the reason, e.g. "Please enter 32 characters or less."
    std::wstring strText;              // the box text: the field's line, "\n", the reason
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

// Checks the free-text fields in the catalogue's order (the WWAN groups 1 to 4:
// APN, User Name, Password each; the SSID, then the passphrase), each by its
// TextRule, and returns the first failure, or nothing when every field
// passes. Lengths count UTF-16 units.
std::optional<ValidationFailure> FindInvalidField(const ValidationInput& input);
