#pragma once
// How the log file is opened on this platform. The log holds every password
// and passphrase, so its file is private to the user when the program creates
// it, and it is never reached through a link someone else placed at its
// path. Display-free.

#include <cstdio>
#include <string>

#include <spdlog/common.h>

// The UTF-8 path in the form the logger opens files by: on Windows wide text,
// so that any user name's folder opens, whatever the system's code page.
spdlog::filename_t LogFileName(const std::string& strPath);

// Runs before the logger opens strPath. A missing file is created readable
// and writable by its owner only (on Windows: an access list of the user
// alone, not inherited from the folder). An existing file is used only when it is a
// regular file owned by the user, and is then made private; where the system
// has owners, the same holds for the rotated files beside it. Anything else
// at the path (a link, a device, another user's file) is refused: false with
// the reason. With bReplaceLink (the logger is re-creating a file it has just
// rotated away) whatever is found there is removed, never followed, and a
// fresh private file takes its place.
bool PrepareLogFile(const std::string& strPath, bool bReplaceLink, std::string& strReason);

// Runs after the logger opened strPath as pFile: true when the stream is the
// regular file that is at strPath now, not one reached through a link planted
// in between (and, where the system has owners, the user's private file).
bool IsLogFileAt(const std::string& strPath, std::FILE* pFile);

// Points pFile, a stream IsLogFileAt refused, at the null device, so that the
// logger closing it later writes nothing anywhere.
void DivertLogStream(std::FILE* pFile);
