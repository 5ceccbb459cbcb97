#pragma once
// What a command is to write, decided before any unit is touched: the fields
// and values from "set KEY=VALUE" or from a preset file, each checked with
// the window's rules. Display-free.

#include <string>
#include <vector>

#include "qvlctl/CtlFields.h"
#include "qvlctl/CtlOptions.h"
#include "qvlctl/CtlUnit.h"

namespace qvlctl {

// A field and the value a command gives it: from "set KEY=VALUE" or from a
// preset file's section.
struct Assignment {
    const CtlField* pField;
    std::wstring strValue;
};

// Checks the values a command gives, before any unit is touched. A value
// whose rule depends on the unit (a passphrase without its key format) is
// checked with each unit's settings.
bool CheckGivenValues(const std::vector<Assignment>& assignments, CtlError& err);

// The assignments of "set KEY=VALUE...", checked. False with err (exit 2 or 4).
bool PlanAssignments(const Options& o, std::vector<Assignment>& assignments, CtlError& err);

// Reads the preset file once, by the bytes of its name, and turns the
// sections it holds into the fields they set. Every section holds all its
// keys (one that lacks a key is cut, or not a preset); an index key holds
// its list position as plain decimal. pstrBytes, when given, receives the
// file's bytes (for its fingerprint). False with err (exit 2, 4 or 5).
bool PlanPreset(const Options& o, std::vector<Assignment>& assignments, CtlError& err,
                std::string* pstrBytes = nullptr);

} // namespace qvlctl
