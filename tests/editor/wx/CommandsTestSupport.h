#pragma once
// Window tests of the Erase, Reload and Write commands against a virtual unit
// on a pseudo-terminal. Modal boxes are answered through wx's modal dialog
// hook: an expectation checks the box it meets and closes it at once.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

#include "editor/wx/WriteResultDlg.h"
#include "sim/VirtualUnit.h"
#include "support/wx/UiTestSupport.h"

// Reports failed dialog expectations to the running test, and never lets an
// unexpected box open for real (that would wait for a user).
class GTestModalHook : public wxTestingModalHook {
public:
    GTestModalHook(const char* pszFile, int nLine, const char* pszFunc)
        : wxTestingModalHook(pszFile, nLine, pszFunc) { }

protected:
    int Enter(wxDialog* pDlg) override
    {
        const int nResult = wxTestingModalHook::Enter(pDlg);
        return nResult == wxID_NONE ? wxID_CANCEL : nResult;
    }
    void ReportFailure(const wxString& strMessage) override { ADD_FAILURE() << strMessage.utf8_str(); }
};
#undef wxTEST_DIALOG_HOOK_CLASS
#define wxTEST_DIALOG_HOOK_CLASS GTestModalHook

// The result dialog, checked by a function, then closed with OK.
template <>
class wxExpectModal<CWriteResultDlg> : public wxExpectModalBase<CWriteResultDlg> {
public:
    explicit wxExpectModal(std::function<void(CWriteResultDlg&)> fnCheck) : m_fnCheck(std::move(fnCheck)) { }

protected:
    int OnInvoked(CWriteResultDlg* pDlg) const override
    {
        m_fnCheck(*pDlg);
        return wxID_OK;
    }

private:
    std::function<void(CWriteResultDlg&)> m_fnCheck;
};

// The error box of the form's validation with exactly this text.
class ExpectValidationBox : public wxExpectModalBase<wxMessageDialog, ExpectValidationBox> {
public:
    explicit ExpectValidationBox(std::wstring strText) : m_strText(std::move(strText)) { }

protected:
    int OnInvoked(wxMessageDialog* pDlg) const override;

private:
    std::wstring m_strText;
};

// A result dialog with these four texts.
wxExpectModal<CWriteResultDlg> ExpectResult(std::wstring strTitle, std::wstring strLine1, std::wstring strLine2,
                                            std::wstring strLine3);

// The settings the unit starts with: every field different.
UnitSettings SampleSettings();

// Field-by-field comparison that names the field that differs.
void ExpectSameSettings(const UnitSettings& expected, const UnitSettings& actual);

extern const int kApnIds[kWwanCount];

// A window connected to a virtual unit through the supervisor.
class CommandsTest : public WindowTest {
protected:
    void SetUp() override;
    void TearDown() override;

    void Click(int nId);
    // The settings as the form shows them now, in the unit's terms.
    UnitSettings FormSettings() const;
    // Changes every field of every group, as a user would.
    void EditEveryGroup();
    std::wstring Port() const { return m_pDlg->ComPort(); }
    std::vector<bool> Flags() const { return std::vector<bool>(m_pDlg->m_bChanged.begin(), m_pDlg->m_bChanged.end()); }

    std::unique_ptr<VirtualUnit> m_pUnit;
};
