#include "platform/CString.h"

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A byte that is not part of valid UTF-8 travels as an unpaired low surrogate U+DC80..U+DCFF,
// which no valid text holds, and becomes the same byte again on the way out: file names that are
// not UTF-8 name the same file after the round trip.
constexpr char32_t kEscapedByte = 0xDC00;

// Decodes one UTF-8 sequence at text[i]; advances i past it. A byte that starts no valid
// sequence is escaped alone, and decoding goes on with the byte after it.
char32_t DecodeUtf8(const unsigned char* text, size_t& i) {
    const size_t start = i;
    unsigned char lead = text[i++];
    if (lead < 0x80)
        return lead;
    const auto escaped = [&] {
        i = start + 1;
        return kEscapedByte | lead;
    };
    int extra = lead >= 0xF0 && lead < 0xF5   ? 3
                : lead >= 0xE0                ? 2
                : lead >= 0xC2 && lead < 0xE0 ? 1
                                              : -1;
    if (extra < 0 || lead >= 0xF5)
        return escaped();
    char32_t cp = lead & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if ((text[i] & 0xC0) != 0x80)
            return escaped();
        cp = (cp << 6) | (text[i++] & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return escaped();
    return cp;
}

}  // namespace

std::string WideToUtf8(const wchar_t* text) {
    std::string out;
    if (!text)
        return out;
    for (const wchar_t* p = text; *p; ++p) {
        char32_t cp = static_cast<char32_t>(*p);
        // A UTF-16 surrogate pair (as a Windows-born string may hold) joins into one code point.
        if (cp >= 0xD800 && cp <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(p[1]) - 0xDC00);
            ++p;
        } else if (cp >= (kEscapedByte | 0x80) && cp <= (kEscapedByte | 0xFF)) {
            out += static_cast<char>(cp & 0xFF);
            continue;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

bool IsValidUtf8Text(const wchar_t* text) {
    for (const wchar_t* p = text; p && *p; ++p) {
        const auto cp = static_cast<char32_t>(*p);
        if (cp >= (kEscapedByte | 0x80) && cp <= (kEscapedByte | 0xFF))
            return false;
    }
    return true;
}

CString Utf8ToWide(const char* text) {
    std::wstring out;
    if (!text)
        return CString();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; bytes[i];)
        out += static_cast<wchar_t>(DecodeUtf8(bytes, i));
    return CString(out);
}

CString CString::Left(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(text_.substr(0, count));
}

CString CString::Mid(int index) const {
    return Mid(index, GetLength());
}

CString CString::Mid(int index, int count) const {
    index = std::clamp(index, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - index);
    return CString(text_.substr(index, count));
}

int CString::ReverseFind(wchar_t ch) const {
    size_t at = text_.rfind(ch);
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

CString& CString::MakeLower() {
    for (auto& ch : text_)
        ch = static_cast<wchar_t>(std::towlower(ch));
    return *this;
}

int CString::Compare(const wchar_t* other) const {
    return std::wcscmp(text_.c_str(), other ? other : L"");
}

int CString::CompareNoCase(const wchar_t* other) const {
    CString a(*this), b(other);
    return a.MakeLower().Compare(b.MakeLower());
}

CString& CString::operator=(const wchar_t* text) {
    text_ = text ? text : L"";
    return *this;
}

CString& CString::operator+=(const CString& other) {
    text_ += other.text_;
    return *this;
}

CString& CString::operator+=(const wchar_t* other) {
    if (other)
        text_ += other;
    return *this;
}

CString& CString::operator+=(wchar_t ch) {
    text_ += ch;
    return *this;
}
