// Runs the window tests inside an initialised (but not running) wx
// application; wx assertions fail the current test.
#include <cstdlib>

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>

#include "support/wx/UiTestSupport.h"

namespace {

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg)
{
    ADD_FAILURE_AT(file.utf8_str(), line)
        << "wx assertion in " << func.utf8_str() << ": " << cond.utf8_str() << " " << msg.utf8_str();
}

class TestApp : public wxApp {
public:
    bool OnInit() override { return true; }
    void RunPending()
    {
        ProcessPendingEvents();
        DeletePendingObjects();
    }
};

} // namespace

void ProcessPendingWork()
{
    static_cast<TestApp*>(wxTheApp)->RunPending();
}

bool RunEventsUntil(const std::function<bool()>& pred, std::chrono::milliseconds bound)
{
    wxGUIEventLoop loop;
    wxEventLoopActivator activate(&loop);
    const auto end = std::chrono::steady_clock::now() + bound;
    for (;;) {
        ProcessPendingWork();
        if (pred())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        loop.DispatchTimeout(10);
    }
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS(); // the listing needs no window system
    // The toolkit's dialogs keep settings (the file dialog's last folder and
    // view): in memory, not in the user's settings.
    ::setenv("GSETTINGS_BACKEND", "memory", 1);
    wxApp::SetInstance(new TestApp);
    if (!wxEntryStart(argc, argv)) {
        fprintf(stderr, "cannot initialise the window system (is DISPLAY set?)\n");
        return 1;
    }
    wxTheApp->CallOnInit();
    wxSetAssertHandler(FailOnAssert);
    const int nResult = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return nResult;
}
