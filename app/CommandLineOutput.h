#pragma once
// Where the window program's command-line texts go (--help, --version, a
// usage error): the terminal's stdout or stderr on POSIX; a message box on
// Windows, where a window program has no console to print to.

#include <string>

// Shows strText; bError marks a usage error (stderr, an error box).
void ShowCommandLineText(const std::string& strText, bool bError);
