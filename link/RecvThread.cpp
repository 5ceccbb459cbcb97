// STUB: receive thread, to be written.
#include "app/QVLSession.h"

bool CQVLSession::StartRecvThread() { return false; }
void CQVLSession::StopRecvThread() {}
void CQVLSession::RecvThread() {}
void CQVLSession::RecvThreadTerminate() {}
