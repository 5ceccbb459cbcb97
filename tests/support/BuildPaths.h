#pragma once
// The build's programs, found from the test program's own place in the build
// tree, so that a copy of the tree (the test script runs one for an ordinary
// account, who may not reach the original) runs the copy's programs. The build
// hands down each program's path relative to the test program's folder.

#include <climits>
#include <string>

#include <unistd.h>

inline std::string BesideTestProgram(const char* pszRelative)
{
    char szSelf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", szSelf, sizeof szSelf - 1);
    if (n <= 0)
        return pszRelative;
    const std::string strSelf(szSelf, static_cast<size_t>(n));
    return strSelf.substr(0, strSelf.rfind('/') + 1) + pszRelative;
}

#ifdef QVLCTL_RELATIVE
#define QVLCTL_BINARY BesideTestProgram(QVLCTL_RELATIVE)
#endif
#ifdef QVL_UTILITY_RELATIVE
#define QVL_UTILITY_BINARY BesideTestProgram(QVL_UTILITY_RELATIVE)
#endif
#ifdef QVL_UNIT_SIM_RELATIVE
#define QVL_UNIT_SIM_PATH BesideTestProgram(QVL_UNIT_SIM_RELATIVE)
#endif
