// STUB: Erase, Reload and Write commands, to be written.
#include "app/QVLUtilityDlg.h"

void CQVLUtilityDlg::OnBnClickedErase(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedReload(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedWrite(wxCommandEvent&) {}
