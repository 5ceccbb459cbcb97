#include "support/wx/XInput.h"

#include <chrono>
#include <dlfcn.h>
#include <vector>

#include <wx/app.h>
#include <wx/defs.h>
#include <wx/utils.h>

#include "support/wx/UiTestSupport.h"

// Last: the X headers define names (None, Status, Bool) the others use.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

unsigned long KeySymOf(int nKey)
{
    switch (nKey) {
    case WXK_TAB:
        return XK_Tab;
    case WXK_RETURN:
        return XK_Return;
    case WXK_ESCAPE:
        return XK_Escape;
    case WXK_SPACE:
        return XK_space;
    case WXK_BACK:
        return XK_BackSpace;
    case WXK_DOWN:
        return XK_Down;
    case WXK_UP:
        return XK_Up;
    default:
        break;
    }
    // Latin-1 characters are their own key symbols; letters by their lower case.
    if (nKey >= 'A' && nKey <= 'Z')
        return static_cast<unsigned long>(nKey - 'A' + 'a');
    return static_cast<unsigned long>(nKey);
}

} // namespace

XInput::XInput() : m_pDisplay(XOpenDisplay(nullptr))
{
}

XInput::~XInput()
{
    if (m_pDisplay)
        XCloseDisplay(m_pDisplay);
}

void XInput::PressCode(unsigned long nKeySym, bool bShift, int nMods)
{
    if (!m_pDisplay)
        return;
    const unsigned int nCode = XKeysymToKeycode(m_pDisplay, nKeySym);
    if (nCode == 0)
        return;
    std::vector<unsigned int> mods;
    if (bShift || (nMods & wxMOD_SHIFT))
        mods.push_back(XKeysymToKeycode(m_pDisplay, XK_Shift_L));
    if (nMods & wxMOD_CONTROL)
        mods.push_back(XKeysymToKeycode(m_pDisplay, XK_Control_L));
    for (unsigned int nMod : mods)
        XTestFakeKeyEvent(m_pDisplay, nMod, True, 0);
    XTestFakeKeyEvent(m_pDisplay, nCode, True, 0);
    XTestFakeKeyEvent(m_pDisplay, nCode, False, 0);
    for (auto it = mods.rbegin(); it != mods.rend(); ++it)
        XTestFakeKeyEvent(m_pDisplay, *it, False, 0);
    XFlush(m_pDisplay);
}

void XInput::Key(int nKey, int nMods)
{
    PressCode(KeySymOf(nKey), false, nMods);
}

void XInput::Text(const std::string& str)
{
    for (const char c : str) {
        const unsigned long nSym = static_cast<unsigned char>(c);
        const unsigned int nCode = m_pDisplay ? XKeysymToKeycode(m_pDisplay, nSym) : 0;
        // A character on the key's second level needs Shift.
        const bool bShift = nCode != 0 && XkbKeycodeToKeysym(m_pDisplay, static_cast<KeyCode>(nCode), 0, 0) != nSym;
        PressCode(nSym, bShift, 0);
    }
}

void XInput::MoveTo(const wxPoint& pt)
{
    if (!m_pDisplay)
        return;
    XTestFakeMotionEvent(m_pDisplay, -1, pt.x, pt.y, 0);
    XFlush(m_pDisplay);
}

void XInput::Click()
{
    if (!m_pDisplay)
        return;
    XTestFakeButtonEvent(m_pDisplay, 1, True, 0);
    XTestFakeButtonEvent(m_pDisplay, 1, False, 0);
    XFlush(m_pDisplay);
}

bool XInput::IsMapped(wxWindow* pWindow)
{
    using GetMappedFn = int (*)(void*);
    static auto pGetMapped = reinterpret_cast<GetMappedFn>(::dlsym(RTLD_DEFAULT, "gtk_widget_get_mapped"));
    return pWindow && pGetMapped && pWindow->IsShownOnScreen() && pGetMapped(pWindow->GetHandle()) != 0;
}

void XInput::Settle()
{
    // The server has handled the fake input once it answers this connection;
    // the events it sent the toolkit's connection are read in once that one
    // has had an answer too. Then everything queued is dispatched, twice over
    // for what the first round set off.
    if (m_pDisplay)
        XSync(m_pDisplay, False);
    for (int nRound = 0; nRound < 2; ++nRound) {
        XSync(wxGetX11Display(), False);
        RunEventsUntil([] { return !wxTheApp->Pending(); }, std::chrono::milliseconds(5000));
    }
    ProcessPendingWork();
}
