// STUB: serial port, to be written.
#include "app/QVLSession.h"

bool CQVLSession::InitSerial() { return false; }
bool CQVLSession::SendData(std::wstring) { return false; }
void CQVLSession::UninitSerial() {}
