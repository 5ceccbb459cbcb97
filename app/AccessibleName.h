#pragma once
// Names that assistive technology (a screen reader) gives the controls of the
// main window. The platform side is chosen in the build: ATK on GTK (read
// through AT-SPI), the accessibility annotations of the window system on
// Windows. Nothing visible changes: captions, layout and tab order stay.

class wxString;
class wxWindow;

// Gives pControl the accessible name strName. pLabel, when not null, is the
// text label shown beside the control: the control is marked as labelled by
// it where the platform can say so.
void SetAccessibleName(wxWindow* pControl, const wxString& strName, wxWindow* pLabel);

// Names every text box, drop-down list and group button of the form on
// pPanel by its group and label ("WWAN2 APN", "Wi-Fi Passphrase",
// "WWAN1 Load Preset"), the unit panel's boxes by what they show. Called once
// after the controls are created.
void NameFormControls(wxWindow* pPanel);
