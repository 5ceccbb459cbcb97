#pragma once
// Provisioning on a production line: the per-unit values file (CSV keyed by
// serial number) and the journal (one JSON object per line and per unit).
// Display-free.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "qvlctl/CtlPlatform.h"
#include "qvlctl/CtlFields.h"
#include "qvlctl/CtlUnit.h"

// One unit's values from the file: the fields its row sets.
struct UnitValues {
    size_t nRow = 0; // the row's line in the file, 1-based (the header is row 1)
    std::vector<std::pair<const CtlField*, std::wstring>> values;
};

// Parses a values file: a header "serial,KEY,KEY..." (qvlctl's field keys, any
// order, serial among them, each once) and one row per unit, RFC 4180 style
// (a field in double quotes may hold commas and doubled quotes; CR LF or LF
// ends a row). A leading byte order mark is dropped, so are blanks around a
// field outside quotes and around a serial number; rows that hold nothing are
// skipped. Every row must have the header's number of fields and a serial
// number not seen before; an index field takes its number or its list item; a
// value must be printable ASCII. A blank cell sets nothing (the preset's value
// stands), so a row cannot set a field to empty. False with err (exit 4)
// naming the row and the field. Values are checked with the window's rules
// later, merged with the preset's.
bool ParseValuesCsv(const std::string& strName, const std::string& strBytes, std::map<std::string, UnitValues>& rows,
                    CtlError& err);

// The journal file, opened for appending. Each entry is one line, appended
// under the file's lock in one write and flushed to disk (fsync) before
// Append returns; a write that fails or is cut short (a full disk) is cut
// off again. So a crash, a full disk or a concurrent run never leaves a half
// line or interleaves two.
class CJournal {
public:
    CJournal() = default;

    // Opens (creates) the file, without waiting; anything but a regular
    // file is refused. False with the reason.
    bool Open(const std::string& strPath, std::string& strError);
    bool IsOpen() const { return m_file.IsOpen(); }
    // Appends strLine (one line without its newline). False with the
    // system's text when the line did not reach the disk whole: then none
    // of it is in the file.
    bool Append(const std::string& strLine, std::string& strError);

private:
    std::mutex m_mtx;
    CAppendFile m_file;
};

// The time now in UTC as ISO 8601 with milliseconds: "2026-05-01T12:00:00.123Z".
std::string UtcNowText();
