#pragma once
// The result dialog of the Erase, Reload and Write commands: a title and three
// centred lines (top: outcome, middle: what was done or the command line that
// failed, bottom: the reason), and an OK button. Esc closes it like OK.

#include <string>

#include <wx/dialog.h>

class wxStaticText;

class CWriteResultDlg : public wxDialog {
public:
    explicit CWriteResultDlg(wxWindow* pParent = nullptr);

    // Stores the four texts and shows them: the title as the window title,
    // the lines in the statics 1078, 1079, 1080. Called once, before the
    // dialog is shown.
    void SetResultText(std::wstring strTitle, std::wstring strLine1, std::wstring strLine2, std::wstring strLine3);

    const std::wstring& Title() const { return m_strTitle; }
    const std::wstring& Line1() const { return m_strLine1; }
    const std::wstring& Line2() const { return m_strLine2; }
    const std::wstring& Line3() const { return m_strLine3; }

    // A line as it is drawn: control characters (a command line's final
    // carriage return) become their visible symbols (U+2400 + code, U+2421
    // for DEL), so they never break the layout.
    static std::wstring DisplayText(const std::wstring& strLine);

private:
    // Widens the dialog when a line is longer than the line width, so the
    // whole line stays readable; the OK button stays centred.
    void FitLines();

    std::wstring m_strTitle;
    std::wstring m_strLine1;
    std::wstring m_strLine2;
    std::wstring m_strLine3;

    wxDECLARE_CLASS(CWriteResultDlg);
    wxDECLARE_NO_COPY_CLASS(CWriteResultDlg);
};
