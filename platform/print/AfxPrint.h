#pragma once

// The framework's print dialog and device-context wrapper. The dialog shows no window: it asks
// the installed print-dialog handler (PrintChooser.h), by default the CUPS default destination or
// the printer named by IMGDESK_PRINTER, and returns that printer's device context.
#include <cstdint>

#include "module/Export.h"
#include "platform/CString.h"
#include "platform/print/PrintDC.h"

struct HWND__;
using HWND = HWND__*;
using INT_PTR = std::intptr_t;
using LPARAM = std::intptr_t;
class CWnd;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

constexpr DWORD PD_ALLPAGES = 0x00000000;
constexpr DWORD PD_SELECTION = 0x00000001;
constexpr DWORD PD_PAGENUMS = 0x00000002;
constexpr DWORD PD_NOSELECTION = 0x00000004;
constexpr DWORD PD_NOPAGENUMS = 0x00000008;
constexpr DWORD PD_COLLATE = 0x00000010;
constexpr DWORD PD_PRINTTOFILE = 0x00000020;
constexpr DWORD PD_PRINTSETUP = 0x00000040;
constexpr DWORD PD_RETURNDC = 0x00000100;
constexpr DWORD PD_RETURNDEFAULT = 0x00000400;
constexpr DWORD PD_USEDEVMODECOPIES = 0x00040000;
constexpr DWORD PD_HIDEPRINTTOFILE = 0x00100000;

struct PRINTDLGW {
    DWORD lStructSize;
    HWND hwndOwner;
    HGLOBAL hDevMode;
    HGLOBAL hDevNames;
    HDC hDC;
    DWORD Flags;
    WORD nFromPage;
    WORD nToPage;
    WORD nMinPage;
    WORD nMaxPage;
    WORD nCopies;
    LPARAM lCustData;
};
using PRINTDLG = PRINTDLGW;

class IMGDESK_API CPrintDialog {
public:
    // The dialog always adds PD_RETURNDC, so a dialog that ends with OK carries the chosen
    // printer's context in m_pd.hDC.
    explicit CPrintDialog(BOOL bPrintSetupOnly,
                          DWORD dwFlags = PD_ALLPAGES | PD_USEDEVMODECOPIES | PD_NOPAGENUMS |
                                          PD_HIDEPRINTTOFILE | PD_NOSELECTION,
                          CWnd* pParentWnd = nullptr);
    // The context in m_pd.hDC belongs to the caller (usually through a CDC).
    ~CPrintDialog();
    CPrintDialog(const CPrintDialog&) = delete;
    CPrintDialog& operator=(const CPrintDialog&) = delete;

    // IDOK or IDCANCEL. OK with no context to give (the printer cannot be reached) cancels.
    INT_PTR DoModal();
    // A new context for the chosen printer, also stored in m_pd.hDC; null on failure.
    HDC CreatePrinterDC();
    HDC GetPrinterDC() const { return m_pd.hDC; }
    int GetCopies() const { return m_pd.nCopies; }
    CString GetDeviceName() const { return m_printer; }

    PRINTDLG& m_pd;

private:
    PRINTDLG m_pdActual;
    CString m_printer;
};

class IMGDESK_API CDC {
public:
    CDC() = default;
    // Deletes the attached context (a printer context abandons an unfinished job).
    ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    BOOL Attach(HDC hDC);
    HDC Detach();
    BOOL DeleteDC();
    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    int GetDeviceCaps(int nIndex) const { return ::GetDeviceCaps(m_hDC, nIndex); }
    int StartDoc(LPDOCINFO lpDocInfo) { return ::StartDocW(m_hDC, lpDocInfo); }
    int StartPage() { return ::StartPage(m_hDC); }
    int EndPage() { return ::EndPage(m_hDC); }
    int EndDoc() { return ::EndDoc(m_hDC); }
    int AbortDoc() { return ::AbortDoc(m_hDC); }
    BOOL StretchBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc,
                    int nSrcWidth, int nSrcHeight, DWORD dwRop) {
        return ::StretchBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc,
                            ySrc, nSrcWidth, nSrcHeight, dwRop);
    }

    HDC m_hDC = nullptr;
};
