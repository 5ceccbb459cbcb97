#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/Log.h"
#include "core/LogText.h"
#include "support/LogCapture.h"

namespace {

// Wide text of every kind reaches the log as UTF-8; other arguments pass
// unchanged, and the level of the call is the level of the line.
TEST(LogFront, WideArgumentsBecomeUtf8OthersPassUnchanged)
{
    LogCapture capture(spdlog::level::info);
    const std::wstring strWide = L"Gr\u00FC\u00DFe";
    const wchar_t* pszNull = nullptr;
    LogInfo(FMT_STRING("{} {} [{}] {} {} {:>4}"), strWide, L"\u20AC", std::wstring_view(L"\u00FC"), pszNull,
            std::string("plain"), 42);
    LogError(logtext::kSaveWifiPresetFailed, std::wstring(L"/tmp/\u00E9t\u00E9.ini"), L"disk full");
    LogDebug(logtext::kRx, strWide); // below the level: not written
    Log(spdlog::level::warn, logtext::kEraseFailed);

    const std::vector<std::string> expected = {
        "[info] Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC [\xC3\xBC]  plain   42",
        "[error] Save WiFi Preset Failed [/tmp/\xC3\xA9t\xC3\xA9.ini] disk full",
        "[warning] Erase Failed",
    };
    EXPECT_EQ(capture.Lines(), expected);
}

} // namespace
