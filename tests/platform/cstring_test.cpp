#include <gtest/gtest.h>

#include "platform/CString.h"
#include "support/Printers.h"

namespace {

TEST(CString, Utf8ConversionKeepsTextAndReplacesWhatIsInvalid) {
    const char* text = "Fotos/Grüße 日本 \xF0\x9F\x93\x84.jpg";  // one character beyond 16 bits
    CString wide = Utf8ToWide(text);
    EXPECT_EQ(std::string(text), WideToUtf8(wide));
    EXPECT_EQ(L'ü', wide[8]);
    EXPECT_EQ(CString(L"a\xFFFD"
                      L"b"),
              Utf8ToWide("a\xC3"
                         "b"));                                   // cut-off sequence
    EXPECT_EQ(CString(L"\xFFFD\xFFFD"), Utf8ToWide("\xC0\xAF"));  // overlong "/": two bad bytes
    const wchar_t pair[] = {0xD83D, 0xDCC4, 0}, lone[] = {L'x', 0xD800, 0};
    EXPECT_EQ("\xF0\x9F\x93\x84", WideToUtf8(pair));
    EXPECT_EQ("x\xEF\xBF\xBD", WideToUtf8(lone));
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
