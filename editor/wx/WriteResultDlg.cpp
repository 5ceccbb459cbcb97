#include "editor/wx/WriteResultDlg.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/display.h>
#include <wx/settings.h>
#include <wx/stattext.h>

#include "app/Resource.h"

wxIMPLEMENT_CLASS(CWriteResultDlg, wxDialog);

namespace {

// Layout in dialog units.
constexpr int kDialogWidth = 237;
constexpr int kDialogHeight = 80;
constexpr int kLineX = 21;
constexpr int kLineWidth = 192;
constexpr int kLineHeight = 8;
constexpr int kLineY[] = {12, 24, 36};
constexpr int kOkX = 96;
constexpr int kOkY = 54;
constexpr int kOkWidth = 50;
constexpr int kOkHeight = 14;

const int kLineIds[] = {IDC_STATIC_LINE1, IDC_STATIC_LINE2, IDC_STATIC_LINE3};

} // namespace

CWriteResultDlg::CWriteResultDlg(wxWindow* pParent)
    : wxDialog(pParent, IDD_WRITE_RESULT, "APN Write Result", wxDefaultPosition, wxDefaultSize, wxCAPTION)
{
    SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
    const wchar_t* const pszTexts[] = {L"", L"APN Write Successfully.", L""};
    for (size_t i = 0; i < 3; ++i) {
        new wxStaticText(this, kLineIds[i], pszTexts[i], wxDLG_UNIT(this, wxPoint(kLineX, kLineY[i])),
                         wxDLG_UNIT(this, wxSize(kLineWidth, kLineHeight)),
                         wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
    }
    auto* pOk = new wxButton(this, wxID_OK, "OK", wxDLG_UNIT(this, wxPoint(kOkX, kOkY)),
                             wxDLG_UNIT(this, wxSize(kOkWidth, kOkHeight)));
    pOk->SetDefault();
    pOk->SetFocus();
    // Esc (there is no Cancel button) presses OK.
    SetEscapeId(wxID_ANY);
    SetClientSize(wxDLG_UNIT(this, wxSize(kDialogWidth, kDialogHeight)));
    CentreOnParent();
}

void CWriteResultDlg::SetResultText(std::wstring strTitle, std::wstring strLine1, std::wstring strLine2,
                                    std::wstring strLine3)
{
    m_strTitle = std::move(strTitle);
    m_strLine1 = std::move(strLine1);
    m_strLine2 = std::move(strLine2);
    m_strLine3 = std::move(strLine3);

    SetTitle(m_strTitle);
    const std::wstring* const pLines[] = {&m_strLine1, &m_strLine2, &m_strLine3};
    for (size_t i = 0; i < 3; ++i) {
        // Shown as they are: an "&" in a field is not a mnemonic.
        static_cast<wxStaticText*>(FindWindow(kLineIds[i]))->SetLabelText(DisplayText(*pLines[i]));
    }
    FitLines();
}

std::wstring CWriteResultDlg::DisplayText(const std::wstring& strLine)
{
    std::wstring strShown = strLine;
    for (wchar_t& wc : strShown) {
        if (static_cast<unsigned long>(wc) < 0x20)
            wc = static_cast<wchar_t>(0x2400 + wc);
        else if (wc == 0x7F)
            wc = static_cast<wchar_t>(0x2421);
    }
    return strShown;
}

void CWriteResultDlg::FitLines()
{
    const int nLineWidth = wxDLG_UNIT(this, wxSize(kLineWidth, 0)).x;
    int nWidest = nLineWidth;
    for (int nId : kLineIds) {
        auto* pLine = static_cast<wxStaticText*>(FindWindow(nId));
        nWidest = std::max(nWidest, pLine->GetTextExtent(pLine->GetLabel()).x);
    }
    // Never wider than the screen can show; beyond that the line is clipped.
    const int nDisplay =
        wxDisplay(static_cast<unsigned>(std::max(0, wxDisplay::GetFromWindow(this)))).GetClientArea().width;
    const int nMargin = wxDLG_UNIT(this, wxSize(kLineX, 0)).x;
    nWidest = std::min(nWidest, std::max(nLineWidth, nDisplay - 2 * nMargin - 32));

    const int nGrow = nWidest - nLineWidth;
    const wxSize sizeClient = wxDLG_UNIT(this, wxSize(kDialogWidth, kDialogHeight)) + wxSize(nGrow, 0);
    for (size_t i = 0; i < 3; ++i) {
        FindWindow(kLineIds[i])
            ->SetSize(wxRect(wxDLG_UNIT(this, wxPoint(kLineX, kLineY[i])),
                             wxSize(nWidest, wxDLG_UNIT(this, wxSize(0, kLineHeight)).y)));
    }
    FindWindow(wxID_OK)->Move(wxDLG_UNIT(this, wxPoint(kOkX, kOkY)) + wxPoint(nGrow / 2, 0));
    SetClientSize(sizeClient);
    CentreOnParent();
}
