#include "app/CommandLineOutput.h"

#include <cstdio>

void ShowCommandLineText(const std::string& strText, bool bError)
{
    std::fputs(strText.c_str(), bError ? stderr : stdout);
}
