#include "core/FileCreation.h"

#include <atomic>

namespace {
std::atomic<void (*)(const std::string&)> g_pHook{nullptr};
} // namespace

void SetFileCreatedHook(void (*pHook)(const std::string& strPath))
{
    g_pHook = pHook;
}

void FileCreated(const std::string& strPath)
{
    if (auto pHook = g_pHook.load())
        pHook(strPath);
}
