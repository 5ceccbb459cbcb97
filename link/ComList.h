#pragma once
// Finding the unit's serial port: a USB function 0483/5740 directly behind a
// hub 1A40/0201. Display-free.

#include <string>
#include <vector>

#include "link/PortDiscovery.h"

class CGetComList {
public:
    // Lists the ports under strSysfsRoot and appends every unit port to
    // arrPorts (which is not emptied first). Returns how many were appended;
    // 0 when none matched or the listing failed.
    static int EnumQVLCommPort(std::vector<std::wstring>& arrPorts, const std::string& strSysfsRoot = "/sys");

    // The matching over an already obtained list of ports, with the same
    // result and log lines.
    static int MatchQVLCommPorts(const std::vector<PortCandidate>& arrCandidates, std::vector<std::wstring>& arrPorts);
};
