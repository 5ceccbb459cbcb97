// PLACEHOLDER: the main window, to be written.
#include "app/QVLUtilityDlg.h"
#include "app/Resource.h"

wxBEGIN_EVENT_TABLE(CQVLUtilityDlg, wxFrame)
wxEND_EVENT_TABLE()

CQVLUtilityDlg::CQVLUtilityDlg(wxWindow* pParent) : wxFrame(pParent, wxID_ANY, "Orra QVL Utility") {}
CQVLUtilityDlg::~CQVLUtilityDlg() { StopRecvThread(); }
bool CQVLUtilityDlg::OnInitDialog(const std::string&) { return true; }
void CQVLUtilityDlg::OnFileExit(wxCommandEvent&) {}
void CQVLUtilityDlg::OnAboutAbout(wxCommandEvent&) {}
void CQVLUtilityDlg::OnCancel(wxCommandEvent&) {}
void CQVLUtilityDlg::OnOK(wxCommandEvent&) {}
void CQVLUtilityDlg::OnClose(wxCloseEvent&) {}
wxWindow* CQVLUtilityDlg::GetDlgItem(int nId) const { return FindWindow(nId); }
void CQVLUtilityDlg::CreateControls() {}
