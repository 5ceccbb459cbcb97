// PLACEHOLDER: form binding and change tracking, to be written.
#include "app/QVLUtilityDlg.h"

void CQVLUtilityDlg::SetDataToGroup(int) {}
void CQVLUtilityDlg::GetDataFromGroup(int) {}
void CQVLUtilityDlg::DisplayModifiedState(int) {}
void CQVLUtilityDlg::OnEnChangeWwan1(wxCommandEvent&) {}
void CQVLUtilityDlg::OnEnChangeWwan2(wxCommandEvent&) {}
void CQVLUtilityDlg::OnEnChangeWwan3(wxCommandEvent&) {}
void CQVLUtilityDlg::OnEnChangeWwan4(wxCommandEvent&) {}
void CQVLUtilityDlg::OnEnChangeWifi(wxCommandEvent&) {}
void CQVLUtilityDlg::EnableGroupUI(int, bool) {}
void CQVLUtilityDlg::MainButtonsEnable(bool) {}
void CQVLUtilityDlg::LoadSaveMenuEnable(bool) {}
void CQVLUtilityDlg::DisplayQvlInfo() {}
