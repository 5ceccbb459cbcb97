// STUB: response parser, to be written.
#include "app/QVLSession.h"

void CQVLSession::ParseRecvData() {}
