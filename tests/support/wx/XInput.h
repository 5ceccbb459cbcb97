#pragma once
// Real key presses and mouse clicks for the window tests, through the X
// server (XTest), as a user's would arrive, and the way to know they have
// been handled: Settle() returns once the server has taken every event sent
// so far and the window system has dispatched all it delivered. Tests wait
// on that, or on the condition the input should bring about, never on a
// fixed time.

#include <string>

#include <wx/gdicmn.h>
#include <wx/window.h>

struct _XDisplay;

class XInput {
public:
    XInput();
    ~XInput();
    XInput(const XInput&) = delete;
    XInput& operator=(const XInput&) = delete;

    // A key (a wx key code: WXK_..., or a printable ASCII character) pressed
    // and released with the modifiers (wxMOD_SHIFT, wxMOD_CONTROL) held.
    void Key(int nKey, int nMods = 0);
    // Types the ASCII text key by key (Shift where the character needs it).
    void Text(const std::string& str);
    void MoveTo(const wxPoint& pt); // screen coordinates
    void Click();                   // left button at the pointer
    // Waits until every event sent so far has been handled (see above).
    void Settle();

    // True once the window is on the screen (mapped by the toolkit), where
    // input can reach it.
    static bool IsMapped(wxWindow* pWindow);

private:
    void PressCode(unsigned long nKeySym, bool bShift, int nMods);

    _XDisplay* m_pDisplay;
};
