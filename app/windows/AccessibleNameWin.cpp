// Accessible names on Windows: Active Accessibility's direct annotation. The
// system's own accessible object of each control (edit box, combo box, push
// button) then answers with the annotated name, to Active Accessibility and
// UI Automation clients alike, while the control's window text (a button's
// caption, a box's content) stays as it is. Active Accessibility has no
// "labelled by" relation: the name already carries the label's words.
#include "app/AccessibleName.h"

#include <wx/msw/wrapwin.h>
#include <wx/window.h>

#include <initguid.h>
#include <oleacc.h>

void SetAccessibleName(wxWindow* pControl, const wxString& strName, wxWindow* /*pLabel*/)
{
    // COM is running: wx initialises it (OLE) for the window's thread when
    // the program starts, before any window is created.
    IAccPropServices* pServices = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                  reinterpret_cast<void**>(&pServices))))
        return;
    pServices->SetHwndPropStr(static_cast<HWND>(pControl->GetHWND()), static_cast<DWORD>(OBJID_CLIENT),
                              static_cast<DWORD>(CHILDID_SELF), PROPID_ACC_NAME, strName.wc_str());
    pServices->Release();
}
