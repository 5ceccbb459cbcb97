#pragma once
// Whole-file reading and replacing for preset files, behind a small interface
// so the INI logic stays free of the platform's file calls. Every failure
// is told as an errno value would be (kind and text of ENOENT, EACCES,
// EISDIR, EINVAL, EFBIG, ...), with the system's own code beside it.
// Display-free.

#include <cstddef>
#include <string>

#include "core/Failure.h"

// What replacing a file keeps of the file it replaces.
struct FileFacts {
    bool bExists = false;
    unsigned nMode = 0;  // permission bits (POSIX)
    unsigned nOwner = 0; // owner and group (POSIX)
    unsigned nGroup = 0;
    bool bPrivate = false; // a new file is readable and writable by its owner only (POSIX)
};

// Reads up to nMax bytes of a regular file; bCut tells that more followed.
// Devices, FIFOs and folders are refused without blocking.
Status ReadRegularFile(const std::string& strPath, size_t nMax, std::string& strBytes, bool& bCut);

// The file that writing strPath updates: the target of a link, where the
// system has links; strPath itself when it cannot be resolved.
std::string ResolveTarget(const std::string& strPath);

// Checks the file about to be replaced. A missing file passes with
// facts.bExists false. Fails when the file is not a regular file (EISDIR,
// EINVAL), may not be written by anyone or by us (EACCES), or is larger than
// nMax bytes (EFBIG).
Status CheckReplaceable(const std::string& strPath, size_t nMax, FileFacts& facts);

// The name of the new file that replacing a file writes first, in the same
// folder: ".qvl-" and 16 random hex digits, ".tmp". Short, so that it fits
// beside a target of any name length, and not guessable, so that nothing can
// be planted under it in advance.
std::string ReplacementTempName();

// Writes strBytes to a new file beside strPath and moves it over strPath, so a
// reader sees either the old content or the new one, never a part. The new
// file is created exclusively under ReplacementTempName(): nothing already
// there is opened or followed. It is its creator's alone until its content is
// in place (FileCreated is told its path at once after its creation). An existing file's permissions are kept, and
// on POSIX its owner and group: where the new file cannot take them (the
// user does not own the file, or is not in its group), the file is instead
// rewritten in place, so that it stays its owner's; a reader may then see it
// half written, and a failure part way may leave it so. On any failure a new
// file is removed.
Status ReplaceFileContents(const std::string& strPath, const std::string& strBytes, const FileFacts& facts);
