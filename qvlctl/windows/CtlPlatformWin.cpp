// qvlctl on Windows: a console program; its results are UTF-8 text.
#include "qvlctl/CtlPlatform.h"

#include <cstdio>

#include <io.h>
#include <windows.h>

bool PrepareStandardStreams()
{
    // Values from the unit and preset files may hold any character; the
    // console shows them as the UTF-8 they are written in.
    SetConsoleOutputCP(CP_UTF8);
    return true;
}

bool StderrIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

bool CheckPortName(const std::string&, std::string&)
{
    // A port name is no file to look at here; a port that is not there is
    // reported, by the system's reason, when it does not open.
    return true;
}
