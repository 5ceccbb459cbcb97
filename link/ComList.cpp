// STUB: port discovery, to be written.
#include "app/QVLSession.h"

bool CQVLSession::GetQvlComPort(std::wstring&) { return false; }
