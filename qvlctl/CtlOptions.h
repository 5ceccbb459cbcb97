#pragma once
// The command line as qvlctl parsed it: what every command is given.
// Display-free.

#include <string>
#include <vector>

namespace qvlctl {

struct Options {
    std::vector<std::string> arrPorts;
    std::string strSerial;
    bool bAll = false;
    bool bJson = false;
    bool bShowSecrets = false;
    std::string strLog;

    std::string strCommand;
    bool bProbe = false;
    std::vector<std::string> arrAssignments;
    std::string strFile;
    int nGroup = 0;
    bool bDryRun = false;
    bool bYes = false;

    // provision
    bool bWatch = false;
    bool bAgain = false;
    std::string strValues;
    bool bValuesOptional = false;
    std::string strJournal;

    // journal summary
    std::vector<std::string> arrJournals;
};

} // namespace qvlctl
