// Where the log goes when the current directory is not writable, on POSIX.
#include "core/Logging.h"

#include <cstdlib>

#include <sys/stat.h>

std::string LogFallbackDirectory()
{
    std::string strBase;
    if (const char* pState = std::getenv("XDG_STATE_HOME"); pState && *pState)
        strBase = pState;
    else if (const char* pHome = std::getenv("HOME"); pHome && *pHome)
        strBase = std::string(pHome) + "/.local/state";
    else
        return std::string();
    return strBase + "/qvl-utility";
}

void MakeDirectories(const std::string& strPath)
{
    for (size_t pos = 1; pos <= strPath.size(); ++pos) {
        if (pos == strPath.size() || strPath[pos] == '/')
            ::mkdir(strPath.substr(0, pos).c_str(), 0700);
    }
}
