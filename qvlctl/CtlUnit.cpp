#include "qvlctl/CtlUnit.h"

#include "core/Log.h"
#include "core/LogText.h"
#include "core/TextUtil.h"
#include "editor/IndexText.h"
#include "link/PortOpenFailure.h"

namespace {

// The identity texts keep the reply's label; people and scripts want the value.
std::string WithoutLabel(const std::wstring& strText, const std::wstring& strLabel)
{
    if (strText.compare(0, strLabel.size(), strLabel) == 0)
        return ToUtf8(strText.substr(strLabel.size()));
    return ToUtf8(strText);
}

std::wstring TrimLineEnd(std::wstring str)
{
    while (!str.empty() && (str.back() == L'\r' || str.back() == L'\n'))
        str.pop_back();
    return str;
}

} // namespace

CCtlUnit::CCtlUnit(const std::string& strPort)
{
    m_identity.strPort = strPort;
    // The port is opened by the bytes given; the wide name is for texts.
    m_session.SetComPortPath(strPort, FromUtf8(strPort));
    // Nothing here waits on a window: take every byte as it arrives.
    m_session.SetRecvPause(false);
}

CCtlUnit::~CCtlUnit()
{
    Close();
}

void CCtlUnit::Close()
{
    m_session.StopRecvThread();
}

bool CCtlUnit::Open(CtlError& err)
{
    LogInfo(logtext::kCtlOpen, m_identity.strPort);
    if (!m_session.InitSerial()) {
        LogError(logtext::kInitSerialFailure);
        std::wstring strReason = TrimLineEnd(m_session.LastError());
        err = {kExitNoUnit,
               "cannot open " + m_identity.strPort + ": " + ToUtf8(strReason) + "; "
                   + ClassifyPortOpenFailure(m_session.LastFailure()).strAdvice,
               ""};
        return false;
    }
    if (!m_session.StartRecvThread()) {
        LogError(logtext::kStartRecvThreadFailure);
        m_session.UninitSerial();
        err = {kExitNoUnit, "cannot read " + m_identity.strPort + ": no thread could be started", ""};
        return false;
    }
    return ReadIdentity(err);
}

bool CCtlUnit::ReadIdentity(CtlError& err)
{
    if (!m_session.QueryQvlVer()) {
        err = UnitError(m_session.ComPort() + L" did not tell its identity.", true);
        return false;
    }
    const DeviceInfo info = m_session.GetDeviceInfo();
    m_identity.strVersion = WithoutLabel(info.strVersion, L"VER ");
    m_identity.strMcuId = WithoutLabel(info.strMcuId, L"MCUID ");
    m_identity.strSerial = ToUtf8(info.strSerial);
    return true;
}

CtlError CCtlUnit::UnitError(const std::wstring& strText, bool bWithLine) const
{
    CtlError err{kExitUnit, ToUtf8(strText), ""};
    // The session's texts name the port in wide text; say it as given.
    const std::string strWide = ToUtf8(m_session.ComPort());
    if (err.strMessage.compare(0, strWide.size(), strWide) == 0)
        err.strMessage.replace(0, strWide.size(), m_identity.strPort);
    if (!bWithLine)
        return err;
    const std::wstring strLine = m_session.GetSendData();
    const CtlField* pField = FieldOfSetLine(strLine);
    if (pField) {
        err.strField = pField->strName;
        err.strNoValues = err.strMessage + " (at the " + pField->strName + " line)";
    }
    if (!strLine.empty())
        err.strMessage += " (at \"" + ShowLine(strLine, false) + "\")";
    return err;
}

UnitSettings CCtlUnit::Records() const
{
    UnitSettings s;
    for (int n = 0; n < kWwanCount; ++n)
        s.wwan[static_cast<size_t>(n)] = m_session.GetWwanProfile(n);
    s.wifi = m_session.GetWifiSettings();
    return s;
}

void CCtlUnit::SetRecords(const UnitSettings& settings)
{
    for (int n = 0; n < kWwanCount; ++n)
        m_session.SetWwanProfile(n, settings.wwan[static_cast<size_t>(n)]);
    m_session.SetWifiSettings(settings.wifi);
}

bool CCtlUnit::ReadSettings(UnitSettings& settings, CtlError& err)
{
    const Status read = m_session.get_APN_WIFI_info();
    if (!read) {
        LogError(logtext::kReloadFailed);
        err = UnitError(read.Text(), true);
        return false;
    }
    LogInfo(logtext::kReloadSuccessfully);
    settings = Records();
    return true;
}

bool CCtlUnit::Write(const UnitSettings& previous, const UnitSettings& wanted, CtlError& err,
                     const std::function<void(const std::string&)>& progress)
{
    LogInfo(logtext::kStep, logtext::kWriteStep);
    SetRecords(wanted);
    const size_t nFields = CtlFields().size();

    // A failure after the unit took some lines: its working settings are
    // put back, so that no later commit stores what this run left behind.
    auto failed = [&](const Status& why, size_t nSent, bool bCommitInDoubt) {
        err = UnitError(why.Text(), true);
        progress("restoring");
        const bool bRestored = Restore(previous, wanted, nSent);
        const std::string strOutcome = bRestored && !bCommitInDoubt
            ? "; restored the unit's previous settings"
            : "; the unit holds unconfirmed changes and must be power-cycled or erased";
        err.strMessage += strOutcome;
        if (!err.strNoValues.empty())
            err.strNoValues += strOutcome;
        LogError(logtext::kCtlFailure, err.strMessage);
        return false;
    };

    progress("writing");
    const Status set = m_session.set_APN_WIFI_info();
    if (!set) {
        LogError(logtext::kStepFailed, logtext::kWriteStep, set.Text());
        // The fields up to the failed line were sent; the failed one may
        // have been taken without a reply.
        size_t nSent = nFields;
        if (const CtlField* pField = FieldOfSetLine(m_session.GetSendData()))
            nSent = static_cast<size_t>(pField - CtlFields().data()) + 1;
        return failed(set, nSent, false);
    }
    progress("committing");
    const Status commit = m_session.fw_APN_WIFI_info(logtext::kWriteStep);
    if (!commit) {
        // An error reply says the unit stored nothing; without a reply it
        // may have.
        return failed(commit, nFields, !commit.Is(FailureKind::InvalidData));
    }
    LogInfo(logtext::kWriteSuccessfully);

    // The unit may take a line and store something else: compare.
    progress("reading back");
    UnitSettings stored;
    if (!ReadSettings(stored, err)) {
        const std::string strWhy = "; the unit took the commit, but what it holds could not be read back";
        err.strMessage += strWhy;
        if (!err.strNoValues.empty())
            err.strNoValues += strWhy;
        return false;
    }
    for (const CtlField& field : CtlFields()) {
        if (field.In(stored) == field.In(wanted))
            continue;
        const bool bShow = !field.IsSecret();
        err = {kExitUnit,
               m_identity.strPort + " holds " + field.strName + " "
                   + (bShow ? "\"" + ToUtf8(field.In(stored)) + "\"" : std::string("(hidden)"))
                   + " after the write, not "
                   + (bShow ? "\"" + ToUtf8(field.In(wanted)) + "\"" : std::string("the value written")),
               field.strName,
               m_identity.strPort + " holds another " + field.strName + " after the write than the value written"};
        LogError(logtext::kCtlReadBackDiffers, field.strName);
        return false;
    }
    return true;
}

bool CCtlUnit::Restore(const UnitSettings& previous, const UnitSettings& wanted, size_t nSent)
{
    LogInfo(logtext::kCtlRestoring, m_identity.strPort);
    const std::vector<CtlField>& fields = CtlFields();
    for (size_t i = 0; i < nSent && i < fields.size(); ++i) {
        const CtlField& field = fields[i];
        if (field.In(previous) == field.In(wanted))
            continue;
        const TxStatus status = m_session.Transact(field.pWire->SetLine(field.In(previous)));
        if (status != TxStatus::Ok) {
            LogError(logtext::kCtlRestoreFailed, field.strName, m_session.TxErrorText(status));
            return false;
        }
    }
    if (!m_session.get_APN_WIFI_info())
        return false;
    const bool bSame = Records() == previous;
    if (!bSame)
        LogError(logtext::kCtlRestoreDiffers);
    return bSame;
}

bool CCtlUnit::Erase(UnitSettings& after, CtlError& err, const std::function<void(const std::string&)>& progress)
{
    LogInfo(logtext::kOnBnClickedErase);
    progress("erasing");
    const Status erased = m_session.fe_APN_WIFI_info();
    if (!erased) {
        LogError(logtext::kEraseFailed);
        err = UnitError(erased.Text(), true);
        return false;
    }
    LogInfo(logtext::kEraseSuccessfully);
    progress("reading back");
    return ReadSettings(after, err);
}

bool ValidateSettings(const UnitSettings& s, CtlError& err)
{
    ValidationInput input;
    input.texts = s;
    // The window's Key Format list selects only ASCII (0) and HEX (1).
    const int nKeyFormat = IndexTextToInt(s.wifi.strKeyFormat);
    input.nKeyFormat = (nKeyFormat == 0 || nKeyFormat == 1) ? nKeyFormat : -1;

    const std::optional<ValidationFailure> failure = FindInvalidField(input);
    if (!failure)
        return true;
    std::wstring strText = failure->strText;
    const size_t nBreak = strText.find(L'\n');
    if (nBreak != std::wstring::npos)
        strText.replace(nBreak, 1, L": ");
    err = {kExitInvalid, ToUtf8(strText), FieldOfFailure(*failure).strName};
    LogInfo(logtext::kWriteRefused);
    return false;
}

std::vector<std::wstring> WriteLines(const UnitSettings& s)
{
    std::vector<std::wstring> lines;
    for (const WireField& field : WireFields())
        lines.push_back(field.SetLine(field.In(s)));
    lines.push_back(L"fw\r");
    return lines;
}

bool CheckSendable(const UnitSettings& s, CtlError& err)
{
    for (const CtlField& field : CtlFields()) {
        const std::wstring& strValue = field.In(s);
        if (field.IsIndex() && !ParseIndexNumber(field, strValue)) {
            err = {kExitInvalid,
                   field.strName + " is \"" + ToUtf8(strValue) + "\": Please enter one of " + IndexChoices(field) + ".",
                   field.strName, field.strName + ": Please enter one of " + IndexChoices(field) + "."};
            return false;
        }
        const std::wstring strLine = field.pWire->SetLine(strValue);
        for (size_t i = 0; i + 1 < strLine.size(); ++i) {
            const auto nCode = static_cast<unsigned long>(strLine[i]);
            if (nCode < 0x20 || nCode >= 0x7F) {
                err = {kExitInvalid, field.strName + ": Please enter only ASCII characters other than spaces.",
                       field.strName};
                return false;
            }
        }
    }
    return true;
}
