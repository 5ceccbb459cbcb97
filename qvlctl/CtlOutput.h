#pragma once
// What qvlctl prints. Results go to standard output, whose failure fails the
// run; one-line errors to standard error, progress to a terminal. The unit's
// settings and identity are shaped here as preset text and as JSON, for
// every command alike. Display-free.

#include <cstddef>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "core/Records.h"
#include "qvlctl/CtlUnit.h"

namespace qvlctl {

using nlohmann::json;

std::string Dump(const json& doc, bool bPretty);

// Writes to standard output; the first failure is kept for FinishOutput.
// Only the main thread calls it.
void Out(const std::string& strText);
// One line from any thread, flushed at once: provision's units write theirs
// as they finish.
void OutLine(const std::string& strLine);

// Every result has reached standard output, or the run fails: flushed and
// checked once at the end. The status of a run that already failed stays.
int FinishOutput(int nExit);

// The error on standard error, and with bJson as a JSON line on standard
// output (naming strPort when it is given).
void ReportError(const CtlError& err, bool bJson, const std::string& strPort = std::string());

// A progress line on stderr, rewritten in place; only when stderr is a
// terminal, so logs and pipes see nothing of it.
class Progress {
public:
    Progress(size_t nUnits, bool bWanted);
    ~Progress() { Clear(); }

    void Phase(const std::string& strPort, const std::string& strPhase);
    void UnitDone();
    void Clear();

private:
    void Show(const std::string& strText);

    const bool m_bOn;
    const size_t m_nUnits;
    std::mutex m_mtx;
    size_t m_nDone = 0;
    bool m_bShown = false;
};

// The settings as a "*.all" preset file holds them, every value exactly. A
// value no preset can hold (CheckStorable) is shown escaped.
std::string PresetText(const UnitSettings& s);

// False, naming the field, when a value cannot be stored in a preset file as
// the unit holds it: a preset that showed it otherwise would write other text
// to the unit.
bool CheckStorable(const UnitSettings& s, CtlError& err);

// Adds the 24 fields, grouped "wwan1" ... "wifi"; an index field as its
// number with its list item beside it ("authtype": 1, "authtype_label": "CHAP").
void AddSettings(json& doc, const UnitSettings& s);

// Adds the unit's port, firmware version, MCU ID and serial number.
void AddIdentity(json& doc, const CtlIdentity& id);

} // namespace qvlctl
