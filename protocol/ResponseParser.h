#pragma once
// The unit's reply grammar. Given the command line sent last (exactly as
// sent, carriage return included) and everything received since, decides
// whether the reply is complete and stores the values it carries. Stateless:
// it runs again on the whole text after every received chunk. Display-free.

#include <string>

#include "editor/Records.h"

// Stores what the reply carries into info, profiles or wifi and returns true
// when the reply to strSendData is complete (the waiting transaction is to be
// released). Returns false, storing nothing, for an unknown or empty command.
bool ParseResponse(const std::wstring& strSendData, const std::wstring& strRecv, DeviceInfo& info,
                   WwanProfiles& profiles, WifiSettings& wifi);
