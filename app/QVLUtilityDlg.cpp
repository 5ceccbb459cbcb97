// The main window: construction of the form, the menu bar, the message
// routing, initialisation and the shell handlers (exit, About, close).
#include "app/QVLUtilityDlg.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/settings.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/AboutDlg.h"
#include "app/AccessibleName.h"
#include "res/wx/AppIcon.h"
#include "core/Log.h"
#include "core/LogText.h"
#include "core/Logging.h"
#include "app/Resource.h"
#include "app/SystemMenu.h"
#include "protocol/WireFields.h"

namespace {

// Size of the form in dialog units.
constexpr int kDialogWidth = 528;
constexpr int kDialogHeight = 280;

enum class Kind { Button, Edit, Identity, Status, Choice, Label, Group, Check };

// One control of the form: kind, id, text, rectangle in dialog units.
struct ControlSpec {
    Kind kind;
    int nId;
    const wchar_t* pszText;
    int x, y, cx, cy;
};

// The controls in creation order, which is also the tab order.
const ControlSpec kControls[] = {
    {Kind::Button, IDC_LOADPRESET1, L"Load Preset", 18, 18, 50, 14},
    {Kind::Button, IDC_SAVEPRESET1, L"Save Preset", 112, 18, 50, 14},
    {Kind::Edit, IDC_EDIT_APN1, L"", 66, 42, 96, 14},
    {Kind::Edit, IDC_EDIT_USER1, L"", 66, 60, 96, 14},
    {Kind::Edit, IDC_EDIT_PW1, L"", 66, 78, 96, 14},
    {Kind::Choice, IDC_COMBO_AUTH1, L"", 66, 97, 96, 30},
    {Kind::Choice, IDC_COMBO_PDP1, L"", 66, 114, 96, 30},
    {Kind::Button, IDC_LOADPRESET2, L"Load Preset", 192, 19, 50, 14},
    {Kind::Button, IDC_SAVEPRESET2, L"Save Preset", 286, 19, 50, 14},
    {Kind::Edit, IDC_EDIT_APN2, L"", 240, 43, 96, 14},
    {Kind::Edit, IDC_EDIT_USER2, L"", 240, 60, 96, 14},
    {Kind::Edit, IDC_EDIT_PW2, L"", 240, 78, 96, 14},
    {Kind::Choice, IDC_COMBO_AUTH2, L"", 240, 98, 96, 30},
    {Kind::Choice, IDC_COMBO_PDP2, L"", 240, 115, 96, 30},
    {Kind::Button, IDC_LOADPRESET3, L"Load Preset", 18, 152, 50, 14},
    {Kind::Button, IDC_SAVEPRESET3, L"Save Preset", 112, 152, 50, 14},
    {Kind::Edit, IDC_EDIT_APN3, L"", 66, 176, 96, 14},
    {Kind::Edit, IDC_EDIT_USER3, L"", 66, 194, 96, 14},
    {Kind::Edit, IDC_EDIT_PW3, L"", 66, 212, 96, 14},
    {Kind::Choice, IDC_COMBO_AUTH3, L"", 66, 231, 96, 30},
    {Kind::Choice, IDC_COMBO_PDP3, L"", 66, 248, 96, 30},
    {Kind::Button, IDC_LOADPRESET4, L"Load Preset", 192, 153, 50, 14},
    {Kind::Button, IDC_SAVEPRESET4, L"Save Preset", 286, 153, 50, 14},
    {Kind::Edit, IDC_EDIT_APN4, L"", 240, 177, 96, 14},
    {Kind::Edit, IDC_EDIT_USER4, L"", 240, 194, 96, 14},
    {Kind::Edit, IDC_EDIT_PW4, L"", 240, 212, 96, 14},
    {Kind::Choice, IDC_COMBO_AUTH4, L"", 240, 231, 96, 30},
    {Kind::Choice, IDC_COMBO_PDP4, L"", 240, 249, 96, 30},
    {Kind::Button, IDC_LOADPRESET5, L"Load Preset", 366, 18, 50, 14},
    {Kind::Button, IDC_SAVEPRESET5, L"Save Preset", 461, 18, 50, 14},
    {Kind::Edit, IDC_EDIT_SSID, L"", 414, 43, 96, 14},
    {Kind::Choice, IDC_COMBO_SECURITY, L"", 414, 61, 96, 30},
    {Kind::Choice, IDC_COMBO_KEYFORMAT, L"", 414, 78, 96, 30},
    {Kind::Edit, IDC_EDIT_PASSPHRASE, L"", 414, 95, 96, 14},
    {Kind::Button, IDC_ERASE, L"Erase", 354, 252, 40, 20},
    {Kind::Button, IDC_RELOAD, L"Reload", 401, 252, 40, 20},
    {Kind::Button, IDC_WRITE, L"Write", 448, 252, 70, 20},
    {Kind::Label, IDC_STATIC_APN1, L"APN\uFF1A", 18, 45, 22, 8},
    {Kind::Label, IDC_STATIC_USER1, L"User Name\uFF1A", 18, 63, 46, 8},
    {Kind::Label, IDC_STATIC_PW1, L"Password\uFF1A", 18, 80, 39, 8},
    {Kind::Label, IDC_STATIC_AUTH1, L"AUTH TYPE\uFF1A", 18, 98, 47, 8},
    {Kind::Label, IDC_STATIC_PDP1, L"PDP TYPE\uFF1A", 18, 116, 40, 8},
    {Kind::Group, IDC_GROUP_WWAN1, L"WWAN1", 6, 6, 168, 132},
    {Kind::Label, IDC_STATIC_APN2, L"APN\uFF1A", 192, 45, 22, 8},
    {Kind::Label, IDC_STATIC_USER2, L"User Name\uFF1A", 192, 63, 46, 8},
    {Kind::Label, IDC_STATIC_PW2, L"Password\uFF1A", 192, 80, 39, 8},
    {Kind::Label, IDC_STATIC_AUTH2, L"AUTH TYPE\uFF1A", 192, 99, 47, 8},
    {Kind::Label, IDC_STATIC_PDP2, L"PDP TYPE\uFF1A", 192, 116, 40, 8},
    {Kind::Group, IDC_GROUP_WWAN2, L"WWAN2", 180, 6, 168, 132},
    {Kind::Label, IDC_STATIC_APN3, L"APN\uFF1A", 18, 179, 22, 8},
    {Kind::Label, IDC_STATIC_USER3, L"User Name\uFF1A", 18, 197, 46, 8},
    {Kind::Label, IDC_STATIC_PW3, L"Password\uFF1A", 18, 214, 39, 8},
    {Kind::Label, IDC_STATIC_AUTH3, L"AUTH TYPE\uFF1A", 18, 232, 47, 8},
    {Kind::Label, IDC_STATIC_PDP3, L"PDP TYPE\uFF1A", 18, 250, 40, 8},
    {Kind::Group, IDC_GROUP_WWAN3, L"WWAN3", 6, 140, 168, 132},
    {Kind::Label, IDC_STATIC_APN4, L"APN\uFF1A", 192, 179, 22, 8},
    {Kind::Label, IDC_STATIC_USER4, L"User Name\uFF1A", 192, 197, 46, 8},
    {Kind::Label, IDC_STATIC_PW4, L"Password\uFF1A", 192, 214, 39, 8},
    {Kind::Label, IDC_STATIC_AUTH4, L"AUTH TYPE\uFF1A", 192, 233, 47, 8},
    {Kind::Label, IDC_STATIC_PDP4, L"PDP TYPE\uFF1A", 192, 250, 40, 8},
    {Kind::Group, IDC_GROUP_WWAN4, L"WWAN4", 180, 140, 168, 132},
    {Kind::Label, IDC_STATIC_SSID, L"SSID", 366, 45, 18, 8},
    {Kind::Label, IDC_STATIC_SECURITY, L"Security\uFF1A", 366, 63, 35, 8},
    {Kind::Label, IDC_STATIC_KEYFORMAT, L"Key Format\uFF1A", 366, 80, 47, 8},
    {Kind::Label, IDC_STATIC_PASSPHRASE, L"Passphrase\uFF1A", 366, 97, 45, 8},
    {Kind::Group, IDC_GROUP_WIFI, L"Wi-Fi", 354, 6, 168, 132},
    {Kind::Label, wxID_ANY, L"FW", 358, 155, 12, 8},
    {Kind::Label, wxID_ANY, L"MCUID", 358, 170, 24, 8},
    {Kind::Label, wxID_ANY, L"Serial", 358, 185, 24, 8},
    {Kind::Identity, IDC_EDIT_FWVER, L"", 389, 155, 128, 12},
    {Kind::Identity, IDC_EDIT_MCUID, L"", 389, 170, 128, 12},
    {Kind::Identity, IDC_EDIT_SERIAL, L"", 389, 185, 128, 12},
    {Kind::Group, wxID_ANY, L"QVL", 354, 140, 168, 65},
    {Kind::Status, IDC_EDIT_STATUS, L"", 358, 210, 90, 20},
    {Kind::Identity, IDC_EDIT_PORT, L"", 450, 216, 64, 12},
    {Kind::Check, IDC_CHECK1, L"Check1", 0, 268, 40, 11},
    {Kind::Check, IDC_CHECK2, L"Check2", 41, 269, 40, 10},
    {Kind::Check, IDC_CHECK3, L"Check3", 84, 269, 40, 10},
    {Kind::Check, IDC_CHECK4, L"Check4", 125, 269, 40, 10},
    {Kind::Check, IDC_CHECK5, L"Check5", 168, 269, 40, 10},
};

// The list items of the field a drop-down list shows.
wxArrayString Items(const FieldSpec& spec)
{
    wxArrayString arr;
    for (const std::string& strLabel : spec.arrLabels)
        arr.Add(wxString::FromUTF8(strLabel));
    return arr;
}

wxArrayString ChoiceItems(int nId)
{
    switch (nId) {
    case IDC_COMBO_AUTH1:
    case IDC_COMBO_AUTH2:
    case IDC_COMBO_AUTH3:
    case IDC_COMBO_AUTH4:
        return Items(FieldSpecOf(&WwanProfile::strAuthType));
    case IDC_COMBO_PDP1:
    case IDC_COMBO_PDP2:
    case IDC_COMBO_PDP3:
    case IDC_COMBO_PDP4:
        return Items(FieldSpecOf(&WwanProfile::strPdpType));
    case IDC_COMBO_SECURITY:
        return Items(FieldSpecOf(&WifiSettings::strSecurity));
    default:
        return Items(FieldSpecOf(&WifiSettings::strKeyFormat));
    }
}

} // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(CQVLUtilityDlg, wxFrame)
    EVT_MENU(ID_FILE_EXIT, CQVLUtilityDlg::OnFileExit)
    EVT_MENU(ID_FILE_LOAD, CQVLUtilityDlg::OnFileLoad)
    EVT_MENU(ID_FILE_SAVE, CQVLUtilityDlg::OnFileSave)
    EVT_MENU(ID_ABOUT_ABOUT, CQVLUtilityDlg::OnAboutAbout)
    EVT_BUTTON(IDC_LOADPRESET1, CQVLUtilityDlg::OnBnClickedLoadpreset1)
    EVT_BUTTON(IDC_LOADPRESET2, CQVLUtilityDlg::OnBnClickedLoadpreset2)
    EVT_BUTTON(IDC_LOADPRESET3, CQVLUtilityDlg::OnBnClickedLoadpreset3)
    EVT_BUTTON(IDC_LOADPRESET4, CQVLUtilityDlg::OnBnClickedLoadpreset4)
    EVT_BUTTON(IDC_LOADPRESET5, CQVLUtilityDlg::OnBnClickedLoadpreset5)
    EVT_BUTTON(IDC_SAVEPRESET1, CQVLUtilityDlg::OnBnClickedSavepreset1)
    EVT_BUTTON(IDC_SAVEPRESET2, CQVLUtilityDlg::OnBnClickedSavepreset2)
    EVT_BUTTON(IDC_SAVEPRESET3, CQVLUtilityDlg::OnBnClickedSavepreset3)
    EVT_BUTTON(IDC_SAVEPRESET4, CQVLUtilityDlg::OnBnClickedSavepreset4)
    EVT_BUTTON(IDC_SAVEPRESET5, CQVLUtilityDlg::OnBnClickedSavepreset5)
    EVT_BUTTON(IDC_ERASE, CQVLUtilityDlg::OnBnClickedErase)
    EVT_BUTTON(IDC_RELOAD, CQVLUtilityDlg::OnBnClickedReload)
    EVT_BUTTON(IDC_WRITE, CQVLUtilityDlg::OnBnClickedWrite)
    EVT_TIMER(IDT_SUPERVISOR, CQVLUtilityDlg::OnTimer)
    EVT_TEXT(IDC_EDIT_APN1, CQVLUtilityDlg::OnEnChangeWwan1)
    EVT_TEXT(IDC_EDIT_USER1, CQVLUtilityDlg::OnEnChangeWwan1)
    EVT_TEXT(IDC_EDIT_PW1, CQVLUtilityDlg::OnEnChangeWwan1)
    EVT_CHOICE(IDC_COMBO_AUTH1, CQVLUtilityDlg::OnEnChangeWwan1)
    EVT_CHOICE(IDC_COMBO_PDP1, CQVLUtilityDlg::OnEnChangeWwan1)
    EVT_TEXT(IDC_EDIT_APN2, CQVLUtilityDlg::OnEnChangeWwan2)
    EVT_TEXT(IDC_EDIT_USER2, CQVLUtilityDlg::OnEnChangeWwan2)
    EVT_TEXT(IDC_EDIT_PW2, CQVLUtilityDlg::OnEnChangeWwan2)
    EVT_CHOICE(IDC_COMBO_AUTH2, CQVLUtilityDlg::OnEnChangeWwan2)
    EVT_CHOICE(IDC_COMBO_PDP2, CQVLUtilityDlg::OnEnChangeWwan2)
    EVT_TEXT(IDC_EDIT_APN3, CQVLUtilityDlg::OnEnChangeWwan3)
    EVT_TEXT(IDC_EDIT_USER3, CQVLUtilityDlg::OnEnChangeWwan3)
    EVT_TEXT(IDC_EDIT_PW3, CQVLUtilityDlg::OnEnChangeWwan3)
    EVT_CHOICE(IDC_COMBO_AUTH3, CQVLUtilityDlg::OnEnChangeWwan3)
    EVT_CHOICE(IDC_COMBO_PDP3, CQVLUtilityDlg::OnEnChangeWwan3)
    EVT_TEXT(IDC_EDIT_APN4, CQVLUtilityDlg::OnEnChangeWwan4)
    EVT_TEXT(IDC_EDIT_USER4, CQVLUtilityDlg::OnEnChangeWwan4)
    EVT_TEXT(IDC_EDIT_PW4, CQVLUtilityDlg::OnEnChangeWwan4)
    EVT_CHOICE(IDC_COMBO_AUTH4, CQVLUtilityDlg::OnEnChangeWwan4)
    EVT_CHOICE(IDC_COMBO_PDP4, CQVLUtilityDlg::OnEnChangeWwan4)
    EVT_TEXT(IDC_EDIT_SSID, CQVLUtilityDlg::OnEnChangeWifi)
    EVT_TEXT(IDC_EDIT_PASSPHRASE, CQVLUtilityDlg::OnEnChangeWifi)
    EVT_CHOICE(IDC_COMBO_SECURITY, CQVLUtilityDlg::OnEnChangeWifi)
    EVT_CHOICE(IDC_COMBO_KEYFORMAT, CQVLUtilityDlg::OnEnChangeWifi)
    EVT_THREAD(ID_CLOSE_QVL_SERIAL, CQVLUtilityDlg::OnCloseQvlSerial)
    EVT_THREAD(ID_CONNECT_DONE, CQVLUtilityDlg::OnConnectDone)
    EVT_THREAD(ID_PORT_ARRIVED, CQVLUtilityDlg::OnPortArrived)
    EVT_CHAR_HOOK(CQVLUtilityDlg::OnCharHook)
    EVT_CLOSE(CQVLUtilityDlg::OnClose)
wxEND_EVENT_TABLE()
// clang-format on

CQVLUtilityDlg::CQVLUtilityDlg(wxWindow* pParent)
    : wxFrame(pParent, wxID_ANY, "Orra QVL Utility", wxDefaultPosition, wxDefaultSize,
              wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    m_hIcon = LoadAppIcons();
    m_fontDialog = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    CreateControls();
}

CQVLUtilityDlg::~CQVLUtilityDlg()
{
    m_timer.Stop();
    m_pPortMonitor.reset();
    CancelConnect();
    StopRecvThread();
}

int GroupControlIds::TextEdit(const WireField& field) const
{
    const size_t i = static_cast<size_t>(field.nGroup);
    if (field.pWwan == &WwanProfile::strApn)
        return nApn.at(i);
    if (field.pWwan == &WwanProfile::strUserName)
        return nUserName.at(i);
    if (field.pWwan == &WwanProfile::strPassword)
        return nPassword.at(i);
    if (field.pWifi == &WifiSettings::strSsid)
        return IDC_EDIT_SSID;
    return IDC_EDIT_PASSPHRASE;
}

void CQVLUtilityDlg::CreateControls()
{
    auto* pFile = new wxMenu;
    pFile->Append(ID_FILE_LOAD, "Load (&L)");
    pFile->Append(ID_FILE_SAVE, "Save (&S)");
    pFile->Append(ID_FILE_EXIT, "Exit (&X)");
    pFile->Enable(ID_FILE_LOAD, false);
    pFile->Enable(ID_FILE_SAVE, false);
    auto* pAbout = new wxMenu;
    pAbout->Append(ID_ABOUT_ABOUT, "About Orra QVL Utility (&A)");
    auto* pMenuBar = new wxMenuBar;
    pMenuBar->Append(pFile, "File (&F)");
    pMenuBar->Append(pAbout, "About (&A)");
    SetMenuBar(pMenuBar);

    m_pPanel = new wxPanel(this, wxID_ANY);
    m_pPanel->SetFont(m_fontDialog);

    // Paint the window background in the colour the borderless boxes of the
    // unit panel are given, so they read as text on the window.
    const wxColour colBackground = m_pPanel->GetBackgroundColour();
    m_pPanel->SetBackgroundColour(colBackground);
    auto rect = [this](const ControlSpec& c, int cy) {
        return std::make_pair(wxDLG_UNIT(m_pPanel, wxPoint(c.x, c.y)), wxDLG_UNIT(m_pPanel, wxSize(c.cx, cy)));
    };

    for (const ControlSpec& c : kControls) {
        switch (c.kind) {
        case Kind::Button: {
            auto [pos, size] = rect(c, c.cy);
            new wxButton(m_pPanel, c.nId, c.pszText, pos, size);
            break;
        }
        case Kind::Edit: {
            auto [pos, size] = rect(c, c.cy);
            new wxTextCtrl(m_pPanel, c.nId, wxEmptyString, pos, size);
            break;
        }
        case Kind::Identity:
        case Kind::Status: {
            auto [pos, size] = rect(c, c.cy);
            long nStyle = wxTE_READONLY | wxBORDER_NONE;
            if (c.kind == Kind::Status)
                nStyle |= wxTE_RIGHT;
            // The port box also explains a port that does not open, which
            // takes more than one line.
            if (c.nId == IDC_EDIT_PORT)
                nStyle |= wxTE_MULTILINE | wxTE_NO_VSCROLL | wxTE_WORDWRAP;
            auto* pEdit = new wxTextCtrl(m_pPanel, c.nId, wxEmptyString, pos, size, nStyle);
            pEdit->SetBackgroundColour(colBackground);
            // Not a tab stop, and not where the initial focus lands; a click
            // still focuses it, so its text can be selected and copied.
            pEdit->DisableFocusFromKeyboard();
            break;
        }
        case Kind::Choice: {
            // The template height includes the opened list; the closed box
            // takes its natural height.
            auto [pos, size] = rect(c, c.cy);
            size.y = -1;
            auto* pChoice = new wxChoice(m_pPanel, c.nId, pos, size, ChoiceItems(c.nId));
            pChoice->SetSelection(wxNOT_FOUND);
            break;
        }
        case Kind::Label: {
            auto [pos, size] = rect(c, c.cy);
            new wxStaticText(m_pPanel, c.nId, c.pszText, pos, size, wxALIGN_LEFT | wxST_NO_AUTORESIZE);
            break;
        }
        case Kind::Group: {
            auto [pos, size] = rect(c, c.cy);
            auto* pBox = new wxStaticBox(m_pPanel, c.nId, c.pszText, pos, size);
            if (c.nId == IDC_GROUP_WIFI)
                pBox->Disable();
            break;
        }
        case Kind::Check: {
            auto [pos, size] = rect(c, c.cy);
            auto* pCheck = new wxCheckBox(m_pPanel, c.nId, c.pszText, pos, size);
            pCheck->Hide();
            break;
        }
        }
    }

    NameFormControls(m_pPanel);
    SetClientSize(wxDLG_UNIT(m_pPanel, wxSize(kDialogWidth, kDialogHeight)));
}

bool CQVLUtilityDlg::OnInitDialog(const std::string& strCommandLine)
{
    SetIcons(m_hIcon);
    AddAboutToSystemMenu(this, ID_ABOUT_ABOUT);

    SetupLogging(strCommandLine);

    // Status box: the dialog font at twice its size.
    wxWindow* pStatus = GetDlgItem(IDC_EDIT_STATUS);
    wxFont fontStatus = pStatus->GetFont();
    fontStatus.SetFractionalPointSize(fontStatus.GetFractionalPointSize() * 2);
    m_pStatusFont = std::make_unique<wxFont>(fontStatus);
    pStatus->SetFont(*m_pStatusFont);
    // The larger text takes nearly the whole box: the edit control's own
    // margins, which grow with the font on some systems, would cut its end.
    if (auto* pStatusEdit = dynamic_cast<wxTextCtrl*>(pStatus))
        pStatusEdit->SetMargins(0);
    pStatus->Refresh();

    // Group captions: the normal font, and a heavy copy for changed groups.
    m_fontDialog = GetDlgItem(IDC_GROUP_WWAN1)->GetFont();
    m_pGroupFont = &m_fontDialog;
    m_pBoldFont = std::make_unique<wxFont>(m_fontDialog);
    m_pBoldFont->SetNumericWeight(wxFONTWEIGHT_HEAVY);

    // The response event lives as long as the session.

    GroupControlTable.nApn = {IDC_EDIT_APN1, IDC_EDIT_APN2, IDC_EDIT_APN3, IDC_EDIT_APN4};
    GroupControlTable.nUserName = {IDC_EDIT_USER1, IDC_EDIT_USER2, IDC_EDIT_USER3, IDC_EDIT_USER4};
    GroupControlTable.nPassword = {IDC_EDIT_PW1, IDC_EDIT_PW2, IDC_EDIT_PW3, IDC_EDIT_PW4};
    GroupControlTable.nPdpType = {IDC_COMBO_PDP1, IDC_COMBO_PDP2, IDC_COMBO_PDP3, IDC_COMBO_PDP4};
    GroupControlTable.nAuthType = {IDC_COMBO_AUTH1, IDC_COMBO_AUTH2, IDC_COMBO_AUTH3, IDC_COMBO_AUTH4};
    GroupControlTable.nApnLabel = {IDC_STATIC_APN1, IDC_STATIC_APN2, IDC_STATIC_APN3, IDC_STATIC_APN4};
    GroupControlTable.nUserNameLabel = {IDC_STATIC_USER1, IDC_STATIC_USER2, IDC_STATIC_USER3, IDC_STATIC_USER4};
    GroupControlTable.nPasswordLabel = {IDC_STATIC_PW1, IDC_STATIC_PW2, IDC_STATIC_PW3, IDC_STATIC_PW4};
    GroupControlTable.nPdpTypeLabel = {IDC_STATIC_PDP1, IDC_STATIC_PDP2, IDC_STATIC_PDP3, IDC_STATIC_PDP4};
    GroupControlTable.nAuthTypeLabel = {IDC_STATIC_AUTH1, IDC_STATIC_AUTH2, IDC_STATIC_AUTH3, IDC_STATIC_AUTH4};
    GroupControlTable.nLoadPreset = {IDC_LOADPRESET1, IDC_LOADPRESET2, IDC_LOADPRESET3, IDC_LOADPRESET4,
                                     IDC_LOADPRESET5};
    GroupControlTable.nSavePreset = {IDC_SAVEPRESET1, IDC_SAVEPRESET2, IDC_SAVEPRESET3, IDC_SAVEPRESET4,
                                     IDC_SAVEPRESET5};
    GroupControlTable.nGroupBox = {IDC_GROUP_WWAN1, IDC_GROUP_WWAN2, IDC_GROUP_WWAN3, IDC_GROUP_WWAN4, IDC_GROUP_WIFI};
    GroupControlTable.nGroupCheck = {IDC_CHECK1, IDC_CHECK2, IDC_CHECK3, IDC_CHECK4, IDC_CHECK5};

    DisplayQvlInfo();

    m_timer.SetOwner(this, IDT_SUPERVISOR);
    m_nTimerID = m_timer.Start(1000) ? IDT_SUPERVISOR : 0;
    LogInfo(logtext::kSetTimer, m_nTimerID);
    m_pPortMonitor = CPortMonitor::Start([this](const std::wstring& strPort) {
        auto* pEvent = new wxThreadEvent(wxEVT_THREAD, ID_PORT_ARRIVED);
        pEvent->SetString(strPort);
        wxQueueEvent(this, pEvent);
    });
    LogInfo(logtext::kPortMonitor, m_pPortMonitor ? 1 : 0);

    Refresh(true);
    return true;
}

void CQVLUtilityDlg::OnFileExit(wxCommandEvent&)
{
    LogDebug(logtext::kOnFileExit);
    Close(true);
}

void CQVLUtilityDlg::OnAboutAbout(wxCommandEvent&)
{
    LogDebug(logtext::kOnAboutAbout);
    CAboutDlg dlg(this);
    dlg.ShowModal();
}

void CQVLUtilityDlg::OnCancel(wxCommandEvent&)
{
    Close(true);
}

void CQVLUtilityDlg::OnOK(wxCommandEvent&)
{
}

void CQVLUtilityDlg::OnCharHook(wxKeyEvent& event)
{
    switch (event.GetKeyCode()) {
    case WXK_ESCAPE: {
        wxCommandEvent cancel(wxEVT_MENU, wxID_CANCEL);
        OnCancel(cancel);
        return;
    }
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        // Enter presses a focused push button; anywhere else it does nothing.
        if (dynamic_cast<wxButton*>(wxWindow::FindFocus())) {
            event.Skip();
        } else {
            wxCommandEvent ok(wxEVT_MENU, wxID_OK);
            OnOK(ok);
        }
        return;
    default:
        event.Skip();
    }
}

void CQVLUtilityDlg::OnClose(wxCloseEvent&)
{
    // The receive thread uses this object: it has to be gone before the
    // window is. No confirmation, even with groups marked changed.
    m_timer.Stop();
    m_pPortMonitor.reset();
    CancelConnect();
    StopRecvThread();
    Destroy();
}

wxWindow* CQVLUtilityDlg::GetDlgItem(int nId) const
{
    return m_pPanel ? m_pPanel->FindWindow(nId) : nullptr;
}
