#pragma once
// INI text files as the preset files use them: "[Section]" lines open a
// section, "KEY=value" lines inside it give values. Display-free.
//
// Reading: section and key lookups ignore letter case and take the first
// match; blanks around a value and one pair of enclosing quotation marks
// (double or single) are dropped; a value is cut to its first 1023 UTF-16
// units. Lines without "=", comments (";" or "#") and lines before the first
// section are kept but never found. The file may be UTF-8 (with or without
// byte-order mark) or UTF-16LE with byte-order mark; bytes that are not valid
// UTF-8 read as Latin-1. At most kMaxFileBytes are read; a file that cannot be
// read reads as empty.
//
// Updating: every line that is not changed is written back byte for byte with
// its own line end; a changed key keeps its place, a missing key goes after
// the last key of its section, a missing section goes at the end of the file.
// New lines take the file's encoding and its first line end; a new file is
// UTF-8 without byte-order mark with CRLF line ends, so it reads the same in
// the Windows version of the tool. The update is atomic: the new content goes
// to a temporary file beside the target, which is then renamed over it.
// A file of more than kMaxLines lines is unreadable.

#include <string>
#include <utility>
#include <vector>

#include "core/Failure.h"

class CIniFile {
public:
    static constexpr size_t kMaxFileBytes = 4u * 1024u * 1024u;
    static constexpr size_t kMaxValueUnits = 1023;
    // A file of more lines reads as unreadable (TooLarge): each line costs a
    // record, and no preset comes near this.
    static constexpr size_t kMaxLines = 20000;

    enum class Encoding { Utf8, Utf8Bom, Utf16Le };

    // Reads and parses a file: success when read (possibly cut at
    // kMaxFileBytes), NotFound when there is no such file, another kind when
    // it exists but cannot be read. Whatever the result, the object then
    // holds what could be read (nothing unless read).
    Status Load(const std::wstring& strPath);
    Status Load(const std::string& strNarrowPath); // file-system bytes
    // Parses file content held in memory. Content of more than kMaxLines
    // lines is not kept (TooManyLines()).
    void Parse(const std::string& strBytes);
    bool TooManyLines() const { return m_bTooManyLines; }

    // Section names exactly as spelled in the file, in file order.
    std::vector<std::wstring> SectionNames() const;
    bool HasSectionExact(const std::wstring& strSection) const;

    // The value of a key, or FALSE when the section or key is absent.
    bool GetValue(const std::wstring& strSection, const std::wstring& strKey, std::wstring& strValue) const;
    std::wstring GetString(const std::wstring& strSection, const std::wstring& strKey,
                           const std::wstring& strDefault) const;

    // Sets a key in memory (adds the key or the section when missing). The
    // value is written so that it reads back exactly: it is put in double
    // quotes when it has blanks at either end or is itself enclosed in quotes.
    // A value holding a line break cannot be stored: FALSE, nothing changed.
    bool SetValue(const std::wstring& strSection, const std::wstring& strKey, const std::wstring& strValue);

    // The file content as it would be written.
    std::string Serialize() const;
    Encoding GetEncoding() const { return m_encoding; }
    bool WasCut() const { return m_bCut; }

private:
    enum class Kind { Other, Section, Key };
    struct Line {
        std::string strRaw; // bytes without the line end, in the file's encoding
        std::string strEol; // the line's own line end bytes ("" for a last line without one)
        Kind kind = Kind::Other;
        std::wstring strName;  // section or key name, blanks trimmed
        std::wstring strValue; // key value, blanks and quotes dropped, not cut
    };

    void ParseLine(Line& line, const std::wstring& strText) const;
    std::wstring DecodeLine(const std::string& strRaw) const;
    std::string EncodeLine(const std::wstring& strText) const;
    // TRUE when the line ends in a line feed, so another may follow it.
    bool IsTerminated(const Line& line) const;
    void Terminate(Line& line, const std::string& strEol) const;
    std::string NewLineEnd() const;
    // Index of the first section line whose name matches (letter case
    // ignored), or npos.
    size_t FindSection(const std::wstring& strSection) const;
    // One past the last line that belongs to the section starting at nHeader.
    size_t SectionEnd(size_t nHeader) const;

    std::vector<Line> m_lines;
    Encoding m_encoding = Encoding::Utf8;
    bool m_bCut = false;
    bool m_bTooManyLines = false;
};

// Keys and values of one section, in the order they are written.
using IniValues = std::vector<std::pair<std::wstring, std::wstring>>;

// What keeps a value out of a preset file, empty when nothing does: a line
// break, or a control character other than the tab (a value the unit holds
// may have a tab, and a file keeps it exactly). Saving and loading refuse the
// same values, so a file that was saved loads again.
std::wstring PresetValueProblem(const std::wstring& strValue);

// Why a preset file cannot hold these values (PresetValueProblem of one of
// them), naming the key and, when given, where it comes from; empty when it
// can.
std::wstring UnstorableValueReason(const IniValues& values, const std::wstring& strWhere = std::wstring());

// One read-modify-write of a file: sets the given keys, in order, in one
// section and replaces the file atomically. A missing file is created; an
// existing one keeps every other line and its permission bits. Fails with the
// system's reason when the file cannot be read or written (a file without any
// write permission counts as read-only) or when it is larger than the reader
// takes, and as InvalidData when a value holds a line break; the file is then
// left as it was.
Status UpdateIniFile(const std::wstring& strPath, const std::wstring& strSection, const IniValues& values);

// Sections with their keys, in the order they are set.
using IniSections = std::vector<std::pair<std::wstring, IniValues>>;

// The same for several sections at once: the file is replaced once, with all
// of them or (on any failure) not at all.
Status UpdateIniFile(const std::wstring& strPath, const IniSections& sections);
