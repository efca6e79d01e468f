#include <cups/cups.h>

#include <cstdlib>
#include <mutex>

#include "platform/print/PageSink.h"
#include "platform/print/PrintChooser.h"

namespace imgdesk::print {
namespace {

std::mutex& HandlerLock() {
    static std::mutex lock;
    return lock;
}
PrintDialogHandler& Handler() {
    static PrintDialogHandler handler;
    return handler;
}

}  // namespace

PrintDialogHandler SetPrintDialogHandler(PrintDialogHandler handler) {
    std::lock_guard<std::mutex> guard(HandlerLock());
    PrintDialogHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

INT_PTR DefaultPrintDialog(PRINTDLG& request, CString& printer) {
    const char* named = std::getenv("IMGDESK_PRINTER");
    if (named && *named) {
        printer = Utf8ToWide(named);
    } else {
        cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
        if (!dest)
            return IDCANCEL;
        printer = Utf8ToWide(dest->name);
        cupsFreeDests(1, dest);
    }
    request.nCopies = 1;
    return IDOK;
}

}  // namespace imgdesk::print

CPrintDialog::CPrintDialog(BOOL bPrintSetupOnly, DWORD dwFlags, CWnd*)
    : m_pd(m_pdActual), m_pdActual() {
    m_pdActual.lStructSize = sizeof(PRINTDLG);
    m_pdActual.Flags = dwFlags | PD_RETURNDC | (bPrintSetupOnly ? PD_PRINTSETUP : 0);
    m_pdActual.nCopies = 1;
    m_pdActual.nFromPage = m_pdActual.nToPage = m_pdActual.nMinPage = m_pdActual.nMaxPage = 1;
}

CPrintDialog::~CPrintDialog() = default;

INT_PTR CPrintDialog::DoModal() {
    imgdesk::print::PrintDialogHandler handler;
    {
        std::lock_guard<std::mutex> guard(imgdesk::print::HandlerLock());
        handler = imgdesk::print::Handler();
    }
    const INT_PTR answer =
        handler ? handler(m_pd, m_printer) : imgdesk::print::DefaultPrintDialog(m_pd, m_printer);
    if (answer != IDOK)
        return IDCANCEL;
    if ((m_pd.Flags & PD_RETURNDC) && !m_pd.hDC && !CreatePrinterDC())
        return IDCANCEL;
    return IDOK;
}

HDC CPrintDialog::CreatePrinterDC() {
    m_pd.hDC = imgdesk::print::CreateCupsPrinterDC(m_printer);
    return m_pd.hDC;
}

CDC::~CDC() {
    DeleteDC();
}

BOOL CDC::Attach(HDC hDC) {
    if (m_hDC || !hDC)
        return FALSE;
    m_hDC = hDC;
    return TRUE;
}

HDC CDC::Detach() {
    HDC dc = m_hDC;
    m_hDC = nullptr;
    return dc;
}

BOOL CDC::DeleteDC() {
    if (!m_hDC)
        return FALSE;
    return imgdesk::print::DeletePrinterDC(Detach());
}
