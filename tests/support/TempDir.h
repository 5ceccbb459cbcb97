#pragma once
// A scratch folder for tests, removed with everything in it, and a guard that
// makes a folder the current directory for its lifetime.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "support/FileBytes.h"

class TempDir {
public:
    explicit TempDir(const char* pszPrefix = "qvl-test")
    {
        std::string strTemplate =
            (std::filesystem::temp_directory_path() / (std::string(pszPrefix) + "-XXXXXX")).string();
        if (::mkdtemp(strTemplate.data()) != nullptr)
            m_path = strTemplate;
    }
    ~TempDir()
    {
        std::error_code ec;
        // Give back write permission that a test took away, then remove.
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            ::chmod(it->path().c_str(), 0700);
        ::chmod(m_path.c_str(), 0700);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path(const std::string& strName) const { return (m_path / strName).string(); }
    std::wstring WPath(const std::string& strName) const { return (m_path / strName).wstring(); }
    const std::filesystem::path& Root() const { return m_path; }
    std::string Str() const { return m_path.string(); }
    bool Valid() const { return !m_path.empty(); }

private:
    std::filesystem::path m_path;
};

// Makes a folder the current directory; the previous one comes back with the
// guard's end.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& strDir)
    {
        char szCwd[4096];
        if (::getcwd(szCwd, sizeof szCwd) != nullptr)
            m_strOld = szCwd;
        m_bEntered = !m_strOld.empty() && ::chdir(strDir.c_str()) == 0;
    }
    ~CurrentDirectory()
    {
        if (m_bEntered && ::chdir(m_strOld.c_str()) != 0)
            std::abort();
    }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

    bool Entered() const { return m_bEntered; }

private:
    std::string m_strOld;
    bool m_bEntered = false;
};

// UTF-16LE bytes with byte-order mark of a text given as UTF-16 units.
inline std::string Utf16LeWithBom(const std::u16string& str)
{
    std::string out = "\xFF\xFE";
    for (char16_t c : str) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}
