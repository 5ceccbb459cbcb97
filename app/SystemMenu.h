#pragma once
// The window's system menu (the one behind its icon), where the system gives
// the program one: it ends with a separator and "About Orra QVL Utility
// (&A)", which opens the same About box as the About menu.

class wxTopLevelWindow;

// Adds the entry to pWin's system menu; choosing it sends pWin the menu
// command nAboutCommand. Nothing happens where the window manager owns the
// system menu.
void AddAboutToSystemMenu(wxTopLevelWindow* pWin, int nAboutCommand);
