// On GTK the window manager draws and owns the window menu: the About box is
// reached through the About menu only.
#include "app/SystemMenu.h"

void AddAboutToSystemMenu(wxTopLevelWindow*, int)
{
}
