#pragma once
// provision: a preset, and per-unit values, written to every attached unit at
// once (or, with --watch, to each unit as it appears), each unit recorded by
// one line on standard output and one journal entry. Display-free.

#include "qvlctl/CtlOptions.h"

namespace qvlctl {

// Plans the whole run before any unit is touched, then provisions; ends with
// the summary line. The stop request is set up, and the named ports checked
// (unless watching), before it is called. The exit status: 0 when every unit was provisioned or
// skipped and journaled.
int RunProvision(const Options& o);

} // namespace qvlctl
