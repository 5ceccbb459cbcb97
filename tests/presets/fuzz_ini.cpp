// libFuzzer target: arbitrary bytes as a preset file. The reader must never
// crash, and an update must keep what it promises: the written keys read back
// exactly, every section that was there stays, in its order, and keys of
// other sections keep their values.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/TextUtil.h"
#include "presets/IniFile.h"

namespace {

std::string ScratchFile()
{
    const char* pszDir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(pszDir) + "/qvl-fuzz-ini-" + std::to_string(::getpid()) + ".all";
}

void Check(bool bOk, const char* pszWhat)
{
    if (!bOk) {
        std::fprintf(stderr, "invariant broken: %s\n", pszWhat);
        std::abort();
    }
}

std::string ReadBytes(const std::string& strPath)
{
    std::string strOut;
    FILE* pFile = std::fopen(strPath.c_str(), "rb");
    if (!pFile)
        return strOut;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pFile)) > 0)
        strOut.append(buf, n);
    std::fclose(pFile);
    return strOut;
}

bool WriteBytes(const std::string& strPath, const uint8_t* pData, size_t nSize)
{
    FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (!pFile)
        return false;
    const bool bOk = std::fwrite(pData, 1, nSize, pFile) == nSize;
    return std::fclose(pFile) == 0 && bOk;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const std::string s_strPath = ScratchFile();
    const std::string strBytes(reinterpret_cast<const char*>(pData), nSize);

    // In memory: listing and lookups.
    CIniFile ini;
    ini.Parse(strBytes);
    const std::vector<std::wstring> before = ini.SectionNames();
    std::vector<std::wstring> otherValues;
    for (const std::wstring& strName : before) {
        otherValues.push_back(ini.GetString(strName, L"SSID", L"\x1"));
        (void)ini.HasSectionExact(strName);
    }

    // Through a file: an update of one section, then read back.
    if (!WriteBytes(s_strPath, pData, nSize))
        return 0;
    // A value made from the input's last bytes. As it stands it may hold
    // what no preset may store: then the update is refused and the file is
    // left as it was. Made storable (control characters but tab replaced),
    // it is written.
    const std::wstring strRaw = FromUtf8(strBytes.substr(nSize > 24 ? nSize - 24 : 0));
    std::wstring strValue = strRaw;
    for (wchar_t& wc : strValue) {
        if ((static_cast<unsigned long>(wc) < 0x20 && wc != L'\t') || wc == 0x7F)
            wc = L'_';
    }
    if (!PresetValueProblem(strRaw).empty()) {
        Check(!UpdateIniFile(FromUtf8(s_strPath), L"WWAN", {{L"APN", strRaw}}),
              "a value a preset cannot hold was written");
        Check(ReadBytes(s_strPath) == strBytes, "a refused update changed the file");
    }
    Check(PresetValueProblem(strValue).empty(), "a storable value is refused");
    const bool bUpdated = UpdateIniFile(FromUtf8(s_strPath), L"WWAN", {{L"APN", strValue}, {L"PDPTYPE", L"2"}}).Ok();
    Check(bUpdated, "update of a small file failed");

    CIniFile after;
    Check(after.Load(s_strPath).Ok(), "reload failed");
    Check(after.GetString(L"WWAN", L"APN", L"\x1") == strValue, "written value does not read back");
    Check(after.GetString(L"WWAN", L"PDPTYPE", L"\x1") == L"2", "added key does not read back");
    std::vector<std::wstring> names = after.SectionNames();
    Check(names.size() >= before.size() && names.size() <= before.size() + 1, "section count changed");
    names.resize(before.size());
    Check(names == before, "sections lost or reordered");
    for (size_t i = 0; i < before.size(); ++i) {
        std::wstring strFolded = before[i];
        for (wchar_t& wc : strFolded) {
            if (wc >= L'A' && wc <= L'Z')
                wc = static_cast<wchar_t>(wc - L'A' + L'a');
        }
        if (strFolded != L"wwan")
            Check(after.GetString(before[i], L"SSID", L"\x1") == otherValues[i], "foreign key changed");
    }
    ::unlink(s_strPath.c_str());
    return 0;
}
