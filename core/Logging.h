#pragma once
// The process-wide logger: one spdlog logger named "logger" writing to a
// size-rotating file, installed as spdlog's default logger. Display-free.

#include "core/Version.h"

#include <string>

constexpr const char* kLogFileName = "Orra_QVL_Utility_log.txt";
constexpr size_t kLogMaxFileSize = 5242880;
constexpr size_t kLogMaxFiles = 3;

// True when the whole command line holds "--log=DEBUG" (case-sensitive,
// anywhere, also inside another argument).
bool IsDebugLogRequested(const std::string& strCommandLine);

// Creates the logger, makes it the default, sets the level from the command
// line, flushes on error and every 3 seconds, and logs the start line.
// The file is created in the current directory, readable by its owner only.
// An existing file (and each rotated one) is used only when it is a regular
// file owned by the user, and is then made private (0600); never through a
// symbolic link at its path. When that fails, the log goes to the
// per-user state directory ($XDG_STATE_HOME/qvl-utility, or
// ~/.local/state/qvl-utility; on Windows %LOCALAPPDATA%\Orra QVL Utility);
// when that fails too, the logger discards every
// line so the program still runs. Returns the path of the file in use, empty
// when lines are discarded. Any folder but the current one is announced in
// one line on stderr.
std::string SetupLogging(const std::string& strCommandLine);

// The directory SetupLogging falls back to when the current one is not
// writable.
std::string LogFallbackDirectory();

// Creates a folder and its missing parents, private to the user (0700).
void MakeDirectories(const std::string& strPath);

// The whole command line of the process, arguments joined by blanks.
std::string JoinCommandLine(int argc, char** argv);
