#pragma once
// The line's record in one view: `qvlctl journal summary` over the journals of
// `provision --journal` (one JSON object per line and per unit), from any
// number of stations. Display-free.

#include <cstddef>
#include <istream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct JournalSummary {
    struct Station {
        std::set<std::string> serials; // the units that reported one
        size_t nNoSerial = 0;          // entries of units that reported none, one unit each
        size_t nProvisioned = 0, nFailed = 0, nSkipped = 0;
        size_t Units() const { return serials.size() + nNoSerial; }
    };
    struct Preset {
        std::set<std::string> names;
        size_t nEntries = 0;
    };
    std::map<std::string, Station> stations; // by the entries' host
    std::map<std::string, size_t> failures;  // "result: error" -> entries
    std::map<std::string, Preset> presets;   // by SHA-256
    std::vector<std::string> unparsed;       // "file:line" of each line that is no journal entry
};

// Counts the entries of one journal. An entry is a JSON object with a text
// "result"; other fields are read when present and of the expected type, and
// fields this version does not know are ignored. Every other line that is
// not blank (cut, not JSON, too long) is named in unparsed as strName:LINE.
// "provisioned" and "skipped" count as such; every other result counts as
// failed, with its error as the reason (the unit's port and serial number
// taken out, so that units failing alike are counted together).
void AddJournal(JournalSummary& sum, const std::string& strName, std::istream& in);

// The summary as one JSON document and as the table for a terminal.
nlohmann::json SummaryJson(const JournalSummary& sum);
std::string SummaryTable(const JournalSummary& sum);

// `qvlctl journal summary FILE...`: the summary of every file to strOut.
// Returns 0, or 5 (with one line per problem on standard error) when a file
// cannot be read or a line did not parse; the summary of what was read is
// given all the same.
int RunJournalSummary(const std::vector<std::string>& arrFiles, bool bJson, std::string& strOut);
