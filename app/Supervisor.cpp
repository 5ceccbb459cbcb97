// STUB: connection supervisor, to be written.
#include "app/QVLUtilityDlg.h"

void CQVLUtilityDlg::OnTimer(wxTimerEvent&) {}
void CQVLUtilityDlg::ComPortOpenProcess() {}
void CQVLUtilityDlg::OnCloseQvlSerial(wxThreadEvent&) {}
void CQVLUtilityDlg::PostCloseQvlSerial() {}
