#pragma once
// The names qvlctl gives the unit's 24 settings fields on its command line and
// in its JSON: "wwan1.apn" ... "wwan4.pdptype", "wifi.ssid" ... "wifi.pwtype".
// The field part is the catalogue's qvlctl name (the preset file's key in lower
// case); the wire keys ("user", "pw", "auth", "pdp", "sec", "pw_type") are
// taken as well. Display-free.

#include <optional>
#include <string>
#include <vector>

#include "core/Records.h"
#include "editor/ValidationRules.h"
#include "protocol/WireFields.h"

struct CtlField {
    const WireField* pWire = nullptr;
    std::string strName; // "wwan1.apn", "wifi.passphrase"
    std::string strKey;  // the part after the dot

    // The catalogue's: passwords and the passphrase; an index field's list items.
    bool IsSecret() const { return pWire->bSecret; }
    const std::vector<std::string>& Labels() const { return pWire->arrLabels; }
    bool IsIndex() const { return pWire->IsIndex(); }
    std::wstring& In(UnitSettings& s) const { return pWire->In(s); }
    const std::wstring& In(const UnitSettings& s) const { return pWire->In(s); }
};

// The 24 fields in the order the unit sends and takes them.
const std::vector<CtlField>& CtlFields();

// The field a KEY of "set KEY=VALUE" names (letter case ignored); nullptr for
// an unknown key.
const CtlField* FindCtlField(const std::string& strKey);

// The field a set line writes ("set 1 user guest\r"); nullptr for other lines.
const CtlField* FieldOfSetLine(const std::wstring& strLine);

// The field a validation failure names.
const CtlField& FieldOfFailure(const ValidationFailure& failure);

// An index field's value from the command line: its number ("1") or its
// list item ("CHAP", letter case ignored). Nothing when it is neither.
std::optional<std::wstring> ParseIndexValue(const CtlField& field, const std::string& strValue);

// An index field's value from a preset file: the list position as plain
// decimal ("0", "1", "2"), nothing else ("01", " 1", "1x", "7" are not).
std::optional<std::wstring> ParseIndexNumber(const CtlField& field, const std::wstring& strValue);

// The choices of an index field for a message: "0 (none), 1 (CHAP), 2 (PAP)".
std::string IndexChoices(const CtlField& field);

// Text from the unit made safe to print on a terminal: control characters
// (C0, DEL, C1) become \xHH; everything else stays.
std::string Printable(const std::string& strUtf8);

// A set line as shown to a person, without its carriage return; the value of a
// secret field as "***" unless bShowSecrets.
std::string ShowLine(const std::wstring& strLine, bool bShowSecrets);
