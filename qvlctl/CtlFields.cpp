#include "qvlctl/CtlFields.h"

#include "core/TextUtil.h"

namespace {

std::string Lower(std::string str)
{
    for (char& c : str)
        c = static_cast<char>(AsciiLower(static_cast<wchar_t>(static_cast<unsigned char>(c))));
    return str;
}

std::vector<CtlField> BuildFields()
{
    std::vector<CtlField> fields;
    for (const WireField& wire : WireFields()) {
        CtlField field;
        field.pWire = &wire;
        field.strKey = wire.pszCtlName;
        field.strName =
            (wire.IsWifi() ? std::string("wifi") : "wwan" + std::to_string(wire.nGroup + 1)) + "." + field.strKey;
        fields.push_back(std::move(field));
    }
    return fields;
}

} // namespace

const std::vector<CtlField>& CtlFields()
{
    static const std::vector<CtlField> fields = BuildFields();
    return fields;
}

const CtlField* FindCtlField(const std::string& strKey)
{
    const std::string strLower = Lower(strKey);
    const size_t nDot = strLower.find('.');
    if (nDot == std::string::npos)
        return nullptr;
    const std::string strGroup = strLower.substr(0, nDot);
    const std::string strField = strLower.substr(nDot + 1);
    for (const CtlField& field : CtlFields()) {
        if (field.strName.compare(0, nDot + 1, strGroup + ".") != 0)
            continue;
        if (field.strKey == strField || field.pWire->pszKey == strField)
            return &field;
    }
    return nullptr;
}

const CtlField* FieldOfSetLine(const std::wstring& strLine)
{
    for (const CtlField& field : CtlFields()) {
        const std::wstring strHead = field.pWire->SetLine(L"");
        if (strLine.compare(0, strHead.size() - 1, strHead, 0, strHead.size() - 1) == 0)
            return &field;
    }
    return nullptr;
}

const CtlField& FieldOfFailure(const ValidationFailure& failure)
{
    // One CtlField a catalogue field, in the catalogue's order.
    return CtlFields().at(static_cast<size_t>(failure.pField - WireFields().data()));
}

std::optional<std::wstring> ParseIndexValue(const CtlField& field, const std::string& strValue)
{
    if (std::optional<std::wstring> number = ParseIndexNumber(field, FromUtf8(strValue)))
        return number;
    for (size_t i = 0; i < field.Labels().size(); ++i) {
        if (Lower(strValue) == Lower(field.Labels()[i]))
            return std::to_wstring(i);
    }
    return std::nullopt;
}

std::optional<std::wstring> ParseIndexNumber(const CtlField& field, const std::wstring& strValue)
{
    for (size_t i = 0; i < field.Labels().size(); ++i) {
        if (strValue == std::to_wstring(i))
            return strValue;
    }
    return std::nullopt;
}

std::string IndexChoices(const CtlField& field)
{
    std::string strChoices;
    for (size_t i = 0; i < field.Labels().size(); ++i)
        strChoices += (i ? ", " : "") + std::to_string(i) + " (" + field.Labels()[i] + ")";
    return strChoices;
}

std::string Printable(const std::string& strUtf8)
{
    static const char* kHex = "0123456789abcdef";
    auto escape = [](std::string& out, unsigned nCode) {
        out += "\\x";
        out += kHex[nCode >> 4];
        out += kHex[nCode & 0x0F];
    };
    std::string out;
    for (size_t i = 0; i < strUtf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(strUtf8[i]);
        const auto next = i + 1 < strUtf8.size() ? static_cast<unsigned char>(strUtf8[i + 1]) : 0u;
        if (b < 0x20 || b == 0x7F) {
            escape(out, b);
        } else if (b == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // C1 controls arrive as U+0080..U+009F, two bytes in UTF-8.
            escape(out, next);
            ++i;
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string ShowLine(const std::wstring& strLine, bool bShowSecrets)
{
    std::wstring strShown = strLine;
    if (!strShown.empty() && strShown.back() == L'\r')
        strShown.pop_back();
    const CtlField* pField = FieldOfSetLine(strLine);
    if (pField && pField->IsSecret() && !bShowSecrets)
        strShown = pField->pWire->SetLine(L"***");
    if (!strShown.empty() && strShown.back() == L'\r')
        strShown.pop_back();
    return ToUtf8(strShown);
}
