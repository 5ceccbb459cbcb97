#pragma once
// The application icon in every size it comes in (16 to 256 pixels).

#include <wx/iconbndl.h>

wxIconBundle LoadAppIcons();
