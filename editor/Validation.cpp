// STUB: validation, to be written.
#include "app/QVLUtilityDlg.h"

bool CQVLUtilityDlg::CheckEnterText() { return true; }
