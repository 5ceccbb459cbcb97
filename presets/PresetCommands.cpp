// STUB: preset commands, to be written.
#include "app/QVLUtilityDlg.h"

void CQVLUtilityDlg::OnBnClickedLoadpreset1(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedLoadpreset2(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedLoadpreset3(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedLoadpreset4(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedLoadpreset5(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedSavepreset1(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedSavepreset2(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedSavepreset3(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedSavepreset4(wxCommandEvent&) {}
void CQVLUtilityDlg::OnBnClickedSavepreset5(wxCommandEvent&) {}
void CQVLUtilityDlg::OnFileLoad(wxCommandEvent&) {}
void CQVLUtilityDlg::OnFileSave(wxCommandEvent&) {}
void CQVLUtilityDlg::LoadWwanPreset(int) {}
void CQVLUtilityDlg::SaveWwanPreset(int) {}
