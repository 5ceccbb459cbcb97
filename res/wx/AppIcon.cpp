#include "res/wx/AppIcon.h"

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/mstream.h>

#include "res/AppIconData.h"

wxIconBundle LoadAppIcons()
{
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    wxIconBundle icons;
    for (const EmbeddedPng& png : kIconPngs) {
        wxMemoryInputStream stream(png.pData, png.nSize);
        wxImage image(stream, wxBITMAP_TYPE_PNG);
        if (!image.IsOk())
            continue;
        wxIcon icon;
        icon.CopyFromBitmap(wxBitmap(image));
        icons.AddIcon(icon);
    }
    return icons;
}
