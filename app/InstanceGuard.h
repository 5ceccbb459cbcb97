#pragma once
// One running copy per user: a lock named "QVLUtility.exe" in the user's
// runtime directory. A copy that died leaves a lock whose process is gone;
// the next start takes it over.

#include <string>

class wxSingleInstanceChecker;

// $XDG_RUNTIME_DIR, else ~/.local/state/qvl-utility (created, owner only).
std::string InstanceGuardDirectory();

// Takes the guard into checker. When another copy holds it, tells the user
// "Application already running." and returns false.
bool AcquireInstanceGuard(wxSingleInstanceChecker& checker);
