#pragma once

// CDocDesk: document operations on lists of image files — one PDF with a page per image,
// printing, handing files to the mail program, binding into and out of zip archives — and the
// grey and black-and-white conversion of loaded images. The class holds no data: any object, even
// a temporary, serves any call. Lists of paths are full paths; operations that take a list by
// value own their copy.
#include <list>

#include "module/Export.h"
#include "platform/CString.h"
#include "platform/atlimage/AtlImage.h"

class IMGDESK_API CDocDesk {
public:
    CDocDesk() {}
    ~CDocDesk() {}
    // Copies nothing: the class has no state.
    CDocDesk& operator=(const CDocDesk&) { return *this; }

    // --- Grey and black-and-white conversion of loaded images ------------------------------

    int ImageToGray(ATL::CImage& source, ATL::CImage& target);
    int ImageToSingle(ATL::CImage& image);

    // --- Images to PDF ---------------------------------------------------------------------

    int JPGSavePdf(std::list<CString> paths, const wchar_t* target);

    // --- Printing --------------------------------------------------------------------------

    int PrintImage(std::list<CString> paths, int blackAndWhite);

    // --- Mailing ---------------------------------------------------------------------------

    int SendOutLook(std::list<CString> paths);

    // --- Binding archives ------------------------------------------------------------------

    int BindJpg(const std::list<CString>& paths, const wchar_t* archive);
    int BindJpg(const wchar_t* archive);
    int UnBindJpg(const wchar_t* archive);
};
