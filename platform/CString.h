#pragma once

// The platform's wide string class, reduced to the members the library and its hosts use.
// Paths travel as wide strings above the platform layer; they become UTF-8 only where they meet
// the operating system (WideToUtf8).
#include <string>
#include <utility>

#include "module/Export.h"
#include "platform/WinTypes.h"

class IMGDESK_API CString {
public:
    CString() = default;
    CString(const wchar_t* text)
        : text_(text ? text : L"") {}  // NOLINT: implicit, as on the platform
    CString(const wchar_t* text, int length) : text_(text ? std::wstring(text, length) : L"") {}
    CString(wchar_t ch, int repeat = 1) : text_(repeat > 0 ? repeat : 0, ch) {}

    int GetLength() const { return static_cast<int>(text_.size()); }
    bool IsEmpty() const { return text_.empty(); }
    const wchar_t* GetString() const { return text_.c_str(); }
    operator const wchar_t*() const { return text_.c_str(); }
    wchar_t operator[](int index) const { return text_.at(index); }

    // The first count characters (all of them when count exceeds the length; none when negative).
    CString Left(int count) const;
    // From index to the end, or count characters from index.
    CString Mid(int index) const;
    CString Mid(int index, int count) const;

    // Index of the last occurrence of ch, or -1.
    int ReverseFind(wchar_t ch) const;

    CString& MakeLower();

    // <0, 0, >0 like wcscmp; CompareNoCase folds case first.
    int Compare(const wchar_t* other) const;
    int CompareNoCase(const wchar_t* other) const;

    CString& operator=(const wchar_t* text);
    CString& operator+=(const CString& other);
    CString& operator+=(const wchar_t* other);
    CString& operator+=(wchar_t ch);

    friend CString operator+(const CString& a, const CString& b) {
        return CString(a.text_ + b.text_);
    }
    friend CString operator+(const CString& a, const wchar_t* b) { return a + CString(b); }
    friend CString operator+(const wchar_t* a, const CString& b) { return CString(a) + b; }
    friend CString operator+(const CString& a, wchar_t b) { return CString(a.text_ + b); }
    friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }
    friend bool operator==(const CString& a, const wchar_t* b) { return a.text_ == (b ? b : L""); }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) { return a.text_ < b.text_; }

private:
    explicit CString(std::wstring text) : text_(std::move(text)) {}
    friend IMGDESK_API CString Utf8ToWide(const char* text);

    std::wstring text_;
};

// UTF-8 text of a wide string, for the operating system's interfaces (paths, environment).
// U+DC80..U+DCFF alone stand for the bytes 0x80..0xFF (see Utf8ToWide); other characters that
// are not valid code points become U+FFFD.
IMGDESK_API std::string WideToUtf8(const wchar_t* text);
// Wide string of UTF-8 text. Each byte that is not part of valid UTF-8 becomes U+DC00 + the byte
// (0x80..0xFF), so that any file name survives the round trip through WideToUtf8 byte for byte.
IMGDESK_API CString Utf8ToWide(const char* text);
// Whether the text came from valid UTF-8: no escaped bytes.
IMGDESK_API bool IsValidUtf8Text(const wchar_t* text);
