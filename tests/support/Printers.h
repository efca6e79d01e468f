#pragma once

// Lets GoogleTest print the platform types in failure messages.
#include <ostream>

#include "platform/CString.h"
#include "platform/Rect.h"

inline void PrintTo(const CString& text, std::ostream* out) {
    *out << '"' << WideToUtf8(text) << '"';
}

inline void PrintTo(const CRect& r, std::ostream* out) {
    *out << "CRect(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}
