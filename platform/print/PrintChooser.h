#pragma once

// Who answers CPrintDialog::DoModal. There is no window here: a handler decides. Hosts install
// their own (a dialog of their toolkit, a fixed printer), tests install recorders.
#include <functional>

#include "module/Export.h"
#include "platform/print/AfxPrint.h"

namespace imgdesk::print {

// Returns IDOK or IDCANCEL. On OK it names the printer in printer (a CUPS destination or an
// ipp:// URI; empty means the CUPS default) and sets request.nCopies; it may also put a device
// context of its own in request.hDC, which the dialog then hands out instead of a printer's.
using PrintDialogHandler = std::function<INT_PTR(PRINTDLG& request, CString& printer)>;

// Installs handler (an empty one restores the default) and returns the one it replaces.
IMGDESK_API PrintDialogHandler SetPrintDialogHandler(PrintDialogHandler handler);

// The default: the printer named by IMGDESK_PRINTER, else the CUPS default destination; one
// copy; IDCANCEL when there is neither.
IMGDESK_API INT_PTR DefaultPrintDialog(PRINTDLG& request, CString& printer);

}  // namespace imgdesk::print
