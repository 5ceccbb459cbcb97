// The application icon on Windows: icon group 128 of the program's resources
// (res/windows/qvl-utility.rc), in every size it holds.
#include "res/wx/AppIcon.h"

#include <wx/msw/wrapwin.h>

wxIconBundle LoadAppIcons()
{
    return wxIconBundle(wxS("#128"), reinterpret_cast<WXHINSTANCE>(GetModuleHandleW(nullptr)));
}
