#pragma once
// The process user's account, and the access list of a file that user alone
// may open. Windows only; display-free.

#include <string>

#include <windows.h>

// One SID of the process's token: the user's (TokenUser) or the owner it
// gives new objects (TokenOwner; an administrators' group for an elevated
// administrator). The SID's bytes, empty when unknown.
std::string TokenSid(TOKEN_INFORMATION_CLASS nClass);

// The current user's SID as text ("S-1-5-21-..."), empty when unknown.
std::wstring CurrentUserSid();

// Security for a file of the user alone: full access for the user, nobody
// else, and nothing inherited from the folder. Freed with LocalFree; nullptr
// when the user is unknown.
PSECURITY_DESCRIPTOR NewOwnerOnlySecurity();
