#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CString.h"
#include "support/Printers.h"

namespace {

TEST(CString, Utf8ConversionKeepsTextAndEveryByteOfNamesThatAreNotUtf8) {
    const char* text = "Fotos/Grüße 日本 \xF0\x9F\x93\x84.jpg";  // one character beyond 16 bits
    CString wide = Utf8ToWide(text);
    EXPECT_EQ(std::string(text), WideToUtf8(wide));
    EXPECT_EQ(L'ü', wide[8]);
    EXPECT_TRUE(IsValidUtf8Text(wide));
    // Bytes outside valid UTF-8 travel as U+DC80..U+DCFF and come back unchanged.
    struct Case {
        std::string bytes;
        std::wstring wide;
    };
    for (const Case& c : std::vector<Case>{
             {"a\xC3"
              "b",
              {L'a', 0xDCC3, L'b'}},          // cut-off sequence
             {"\xC0\xAF", {0xDCC0, 0xDCAF}},  // overlong "/"
             {"caf\xE9.jpg", {L'c', L'a', L'f', 0xDCE9, L'.', L'j', L'p', L'g'}},  // Latin-1
             {"\xED\xA0\x80", {0xDCED, 0xDCA0, 0xDC80}},              // an encoded surrogate
             {"\xF4\x90\x80\x80", {0xDCF4, 0xDC90, 0xDC80, 0xDC80}},  // beyond U+10FFFF
             {"\xFF\xFE", {0xDCFF, 0xDCFE}},
         }) {
        const CString decoded = Utf8ToWide(c.bytes.c_str());
        EXPECT_EQ(std::wstring(decoded.GetString()), c.wide) << c.bytes;
        EXPECT_EQ(WideToUtf8(decoded), c.bytes);
        EXPECT_FALSE(IsValidUtf8Text(decoded));
    }
    const wchar_t pair[] = {0xD83D, 0xDCC4, 0}, lone[] = {L'x', 0xD800, 0}, low[] = {0xDC41, 0};
    EXPECT_EQ("\xF0\x9F\x93\x84", WideToUtf8(pair));
    EXPECT_EQ("x\xEF\xBF\xBD", WideToUtf8(lone));
    EXPECT_EQ("\xEF\xBF\xBD", WideToUtf8(low));  // below the escaped bytes
    EXPECT_EQ("", WideToUtf8(nullptr));
    EXPECT_TRUE(CString(static_cast<const wchar_t*>(nullptr)).IsEmpty());
}

TEST(CString, SearchesClampAndCompare) {
    CString path(L"a/b/c.JPG");
    EXPECT_EQ(3, path.ReverseFind(L'/'));
    EXPECT_EQ(-1, CString(L"c.JPG").ReverseFind(L'/'));
    EXPECT_EQ(CString(L"c.JPG"), path.Mid(4));
    EXPECT_EQ(CString(L""), path.Mid(50));
    EXPECT_EQ(CString(L"a/b/c.JPG"), path.Left(99));
    EXPECT_EQ(CString(L""), path.Left(-1));
    EXPECT_EQ(CString(L"/x/a/b/c.JPG"), CString(L"/x") + L'/' + path);
    EXPECT_EQ(0, CString(L"c.Jpg").CompareNoCase(L"C.jpG"));
}

}  // namespace
