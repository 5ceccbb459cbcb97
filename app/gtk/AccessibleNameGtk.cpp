// Accessible names on GTK: set on the ATK object of the control's native
// widget, which the AT-SPI bridge hands to screen readers. The label relation
// is set both ways (the control is labelled by the label, the label is the
// label for the control), as GTK does for a label's mnemonic widget.
#include "app/AccessibleName.h"

#include <gtk/gtk.h>

#include <wx/window.h>

namespace {

// The widget that takes the input: a multi-line text box's native widget is
// the scrolled window around its text view.
GtkWidget* InputWidget(wxWindow* pWindow)
{
    GtkWidget* pWidget = pWindow->GetConnectWidget();
    if (pWidget && GTK_IS_SCROLLED_WINDOW(pWidget)) {
        if (GtkWidget* pChild = gtk_bin_get_child(GTK_BIN(pWidget)))
            return pChild;
    }
    return pWidget;
}

} // namespace

void SetAccessibleName(wxWindow* pControl, const wxString& strName, wxWindow* pLabel)
{
    GtkWidget* pWidget = InputWidget(pControl);
    AtkObject* pAccessible = pWidget ? gtk_widget_get_accessible(pWidget) : nullptr;
    if (!pAccessible)
        return;
    atk_object_set_name(pAccessible, strName.utf8_str());
    if (!pLabel)
        return;
    GtkWidget* pLabelWidget = InputWidget(pLabel);
    AtkObject* pLabelAccessible = pLabelWidget ? gtk_widget_get_accessible(pLabelWidget) : nullptr;
    if (!pLabelAccessible)
        return;
    atk_object_add_relationship(pAccessible, ATK_RELATION_LABELLED_BY, pLabelAccessible);
    atk_object_add_relationship(pLabelAccessible, ATK_RELATION_LABEL_FOR, pAccessible);
}
