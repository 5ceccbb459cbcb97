#pragma once
// The commands that run on units: finding the attached units and choosing
// those a command runs on; list; and info, get, set, write and erase, run on
// every chosen unit at once. Display-free.

#include <string>
#include <vector>

#include "qvlctl/CtlOptions.h"
#include "qvlctl/CtlPlan.h"
#include "qvlctl/CtlUnit.h"

namespace qvlctl {

inline constexpr const char* kNoUnitAdvice = "connect the unit by USB, or name its port with --port=PATH";

// An attached unit's port, and its USB path ("-" when not known).
struct FoundPort {
    std::string strPort;
    std::string strUsbPath;
};

// The attached units' ports, in the system's order.
std::vector<FoundPort> DiscoverPorts();

// A port named with --port must be there, for every command.
bool CheckNamedPorts(const Options& o, CtlError& err);

// The ports the command runs on. False with err when none can be chosen.
bool SelectPorts(const Options& o, std::vector<std::string>& arrSelected, CtlError& err);

// list: the attached units (or the named ports), with --probe their identity.
int RunList(const Options& o);

// info, get, set, write or erase on each of arrPorts at once, the results in
// port order; set and write give the fields of assignments. The exit status
// is the first failing unit's.
int RunOnUnits(const Options& o, const std::vector<Assignment>& assignments, const std::vector<std::string>& arrPorts);

} // namespace qvlctl
