// STUB: preset sections, to be written.
#include "app/QVLSession.h"

bool CQVLSession::ReadWwanSection(int, const std::wstring&, bool) { return false; }
bool CQVLSession::ReadWifiSection(const std::wstring&) { return false; }
bool CQVLSession::WriteWwanSection(int, const std::wstring&, bool) { return false; }
bool CQVLSession::WriteWifiSection(const std::wstring&) { return false; }
