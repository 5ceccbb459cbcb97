// The preset commands: Load Preset and Save Preset of each group, File > Load
// and File > Save. Each asks for a file, moves data between the form, the
// records and the file, and marks loaded groups changed. Nothing goes to the
// unit; the user writes loaded values with Write.
#include "app/QVLUtilityDlg.h"

#include <wx/filedlg.h>
#include <wx/filedlgcustomize.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/TextUtil.h"
#include "presets/PresetSections.h"

namespace {

// The three kinds of preset file: the dialog filter and the extension.
struct PresetKind {
    const char* pszFilter;
    const char* pszExt;
};
const PresetKind kWwanPreset = {"WWAN Preset File(*.wwan)|*.wwan", "wwan"};
const PresetKind kWifiPreset = {"Wi-Fi Preset File(*.wifi)|*.wifi", "wifi"};
const PresetKind kAllPreset = {"All Preset File(*.all)|*.all", "all"};

// The check buttons File > Load adds to its dialog, one per group in group
// order (the group check ids 1068 to 1072 name them by the same position).
// They start from the states in bChecked and put theirs back there when the
// dialog closes with OK.
class CGroupCheckHook : public wxFileDialogCustomizeHook {
public:
    explicit CGroupCheckHook(std::array<bool, kGroupCount>& bChecked) : m_bChecked(bChecked) { }

    void AddCustomControls(wxFileDialogCustomize& customizer) override
    {
        for (size_t i = 0; i < kGroupCount; ++i) {
            const wxString strLabel =
                i < kWwanCount ? wxString::Format("WWAN%d", static_cast<int>(i) + 1) : wxString("Wi-Fi");
            m_boxes[i] = customizer.AddCheckBox(strLabel);
            m_boxes[i]->SetValue(m_bChecked[i]);
        }
    }

    void TransferDataFromCustomControls() override
    {
        for (size_t i = 0; i < kGroupCount; ++i)
            if (m_boxes[i])
                m_bChecked[i] = m_boxes[i]->GetValue();
    }

private:
    std::array<bool, kGroupCount>& m_bChecked;
    std::array<wxFileDialogCheckBox*, kGroupCount> m_boxes{};
};

// The path to use for what the user chose: a name without an extension gets
// the kind's. An open dialog keeps an existing file's name as it is.
wxString WithPresetExtension(const wxString& strPath, const PresetKind& kind, bool bSave)
{
    const wxFileName fn(strPath);
    if (fn.HasExt() || fn.GetName().empty())
        return strPath;
    if (!bSave && wxFileName::FileExists(strPath))
        return strPath;
    return strPath + "." + kind.pszExt;
}

// Shows one modal file dialog of the main window. TRUE with the chosen path
// when it closes with OK.
bool AskPresetPath(wxWindow* pParent, const PresetKind& kind, bool bSave, std::wstring& strPath,
                   wxFileDialogCustomizeHook* pHook = nullptr)
{
    // No wxFD_FILE_MUST_EXIST: a missing file simply loads nothing. No
    // wxFD_OVERWRITE_PROMPT: saving into an existing file updates it in place.
    wxFileDialog dlg(pParent, bSave ? "Save As" : "Open", wxEmptyString, wxEmptyString, kind.pszFilter,
                     bSave ? wxFD_SAVE : wxFD_OPEN);
    if (pHook)
        dlg.SetCustomizeHook(*pHook);
    if (dlg.ShowModal() != wxID_OK)
        return false;
    // GTK's chooser knows only what was picked in it while it was shown; a
    // dialog answered without being shown (by a modal-dialog hook) carries
    // its answer in the path set on it.
    wxString strChosen = dlg.GetPath();
    if (strChosen.empty())
        strChosen = dlg.wxFileDialogBase::GetPath();
    strPath = WithPresetExtension(strChosen, kind, bSave).ToStdWstring();
    return true;
}

// A preset that was not saved: the user is told which file and why.
void ShowSaveError(wxWindow* pParent, const std::wstring& strPath, const std::wstring& strReason)
{
    wxMessageBox(wxString::Format("The preset could not be saved to\n%s\n\n%s", wxString(strPath), wxString(strReason)),
                 "Orra QVL Utility", wxOK | wxICON_ERROR, pParent);
}

// A preset that was refused for one of its values: the user is told which
// file, and the key and reason.
void ShowLoadError(wxWindow* pParent, const std::wstring& strPath, const std::wstring& strReason)
{
    wxMessageBox(
        wxString::Format("The preset could not be loaded from\n%s\n\n%s", wxString(strPath), wxString(strReason)),
        "Orra QVL Utility", wxOK | wxICON_ERROR, pParent);
}

// Why the file cannot hold the form's values (the first one found), or empty.
std::wstring UnstorableFormReason(const WwanProfiles& profiles, const WifiSettings& wifi)
{
    for (size_t i = 0; i < profiles.size(); ++i) {
        const std::wstring strReason =
            UnstorableValueReason(WwanSectionValues(profiles[i]), L"WWAN" + std::to_wstring(i + 1));
        if (!strReason.empty())
            return strReason;
    }
    return UnstorableValueReason(WifiSectionValues(wifi), L"Wi-Fi");
}

} // namespace

void CQVLUtilityDlg::OnBnClickedLoadpreset1(wxCommandEvent&)
{
    LoadPreset(0);
}
void CQVLUtilityDlg::OnBnClickedLoadpreset2(wxCommandEvent&)
{
    LoadPreset(1);
}
void CQVLUtilityDlg::OnBnClickedLoadpreset3(wxCommandEvent&)
{
    LoadPreset(2);
}
void CQVLUtilityDlg::OnBnClickedLoadpreset4(wxCommandEvent&)
{
    LoadPreset(3);
}
void CQVLUtilityDlg::OnBnClickedLoadpreset5(wxCommandEvent&)
{
    LoadPreset(kWifiGroup);
}
void CQVLUtilityDlg::OnBnClickedSavepreset1(wxCommandEvent&)
{
    SavePreset(0);
}
void CQVLUtilityDlg::OnBnClickedSavepreset2(wxCommandEvent&)
{
    SavePreset(1);
}
void CQVLUtilityDlg::OnBnClickedSavepreset3(wxCommandEvent&)
{
    SavePreset(2);
}
void CQVLUtilityDlg::OnBnClickedSavepreset4(wxCommandEvent&)
{
    SavePreset(3);
}
void CQVLUtilityDlg::OnBnClickedSavepreset5(wxCommandEvent&)
{
    SavePreset(kWifiGroup);
}

void CQVLUtilityDlg::LoadPreset(int nNo)
{
    const bool bWifi = nNo == kWifiGroup;
    if (bWifi)
        LogInfo(logtext::kOnBnClickedLoadpreset5);
    else
        LogInfo(logtext::kLoadWwanPresetAsked, nNo + 1);
    std::wstring strPath;
    if (!AskPresetPath(this, bWifi ? kWifiPreset : kWwanPreset, false, strPath)) {
        if (bWifi)
            LogInfo(logtext::kLoadWifiPresetCancel);
        else
            LogInfo(logtext::kLoadWwanPresetCancel, nNo + 1);
        return;
    }
    // A WWAN group reads section "WWAN", whichever group saved it. Without
    // the section nothing changes.
    const Status read = bWifi ? ReadWifiSection(strPath) : ReadWwanSection(nNo, strPath, false);
    if (!read) {
        if (read.Is(FailureKind::InvalidData))
            ShowLoadError(this, strPath, read.Text());
        return;
    }
    ShowGroups({nNo}, true);
}

void CQVLUtilityDlg::SavePreset(int nNo)
{
    const bool bWifi = nNo == kWifiGroup;
    if (bWifi)
        LogInfo(logtext::kOnBnClickedSavepreset5);
    else
        LogInfo(logtext::kSaveWwanPresetAsked, nNo + 1);
    std::wstring strPath;
    if (!AskPresetPath(this, bWifi ? kWifiPreset : kWwanPreset, true, strPath)) {
        if (bWifi)
            LogInfo(logtext::kSaveWifiPresetCancel);
        else
            LogInfo(logtext::kSaveWwanPresetCancel, nNo + 1);
        return;
    }
    // The form as it stands, unchecked; the change mark stays as it is.
    GetDataFromGroup(nNo);
    const Status written = bWifi ? WriteWifiSection(strPath) : WriteWwanSection(nNo, strPath, false);
    if (!written)
        ShowSaveError(this, strPath, written.Text());
}

void CQVLUtilityDlg::OnFileLoad(wxCommandEvent&)
{
    LogInfo(logtext::kOnFileLoad);
    m_bLoadGroupChecked.fill(true);
    CGroupCheckHook hook(m_bLoadGroupChecked);
    std::wstring strPath;
    if (!AskPresetPath(this, kAllPreset, false, strPath, &hook)) {
        LogInfo(logtext::kLoadAllPresetCancel);
        return;
    }
    const std::array<bool, kGroupCount> bChecked = m_bLoadGroupChecked;

    // All or nothing: the records go back to what they held when any checked
    // section cannot be read, so neither the form nor a record keeps a part
    // of the file.
    WwanProfiles savedProfiles;
    for (int nNo = 0; nNo < kWwanCount; ++nNo)
        savedProfiles[static_cast<size_t>(nNo)] = GetWwanProfile(nNo);
    const WifiSettings savedWifi = GetWifiSettings();

    // The file is read once for all the sections.
    CIniFile ini;
    const Status fileRead = ini.Load(strPath);
    Status read;
    for (int nNo = 0; nNo < kWwanCount && read; ++nNo)
        if (bChecked[static_cast<size_t>(nNo)])
            read = ReadWwanSection(nNo, ini, fileRead, strPath, true);
    if (read && bChecked[kWifiGroup])
        read = ReadWifiSection(ini, fileRead, strPath);
    if (!read) {
        for (int nNo = 0; nNo < kWwanCount; ++nNo)
            SetWwanProfile(nNo, savedProfiles[static_cast<size_t>(nNo)]);
        SetWifiSettings(savedWifi);
        if (read.Is(FailureKind::InvalidData))
            ShowLoadError(this, strPath, read.Text());
        return;
    }

    std::vector<int> loaded;
    for (int nNo = 0; nNo < kGroupCount; ++nNo) {
        if (bChecked[static_cast<size_t>(nNo)])
            loaded.push_back(nNo);
    }
    ShowGroups(loaded, true);
}

void CQVLUtilityDlg::OnFileSave(wxCommandEvent&)
{
    LogInfo(logtext::kOnFileSave);
    std::wstring strPath;
    if (!AskPresetPath(this, kAllPreset, true, strPath)) {
        LogInfo(logtext::kSaveAllPresetCancel);
        return;
    }
    // Every group as the form holds it, marked or not, valid for the unit or
    // not. A value that the file cannot hold stops the save before anything
    // is written, so the file never mixes new and old groups for that reason.
    for (int nNo = 0; nNo < kGroupCount; ++nNo)
        GetDataFromGroup(nNo);
    WwanProfiles profiles;
    for (int nNo = 0; nNo < kWwanCount; ++nNo)
        profiles[static_cast<size_t>(nNo)] = GetWwanProfile(nNo);
    const std::wstring strReason = UnstorableFormReason(profiles, GetWifiSettings());
    if (!strReason.empty()) {
        LogError(logtext::kSaveAllPresetFailed, strPath, strReason);
        ShowSaveError(this, strPath, strReason);
        return;
    }

    if (const Status written = WriteAllSections(strPath); !written)
        ShowSaveError(this, strPath, written.Text());
}
