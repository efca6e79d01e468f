#include <gtest/gtest.h>

#include "platform/CString.h"
#include "support/Printers.h"

namespace {

TEST(CString, Utf8RoundTripOfNonAsciiText) {
    const char* text =
        "Fotos/Grüße 日本 \xF0\x9F\x93\x84.jpg";  // includes a character beyond 16 bits
    CString wide = Utf8ToWide(text);
    EXPECT_EQ(std::string(text), WideToUtf8(wide));
    EXPECT_EQ(L'ü', wide[8]);
}

TEST(CString, InvalidTextBecomesReplacementCharacters) {
    EXPECT_EQ(CString(L"a\xFFFD"
                      L"b"),
              Utf8ToWide("a\xC3"
                         "b"));                                   // cut-off sequence
    EXPECT_EQ(CString(L"\xFFFD\xFFFD"), Utf8ToWide("\xC0\xAF"));  // overlong "/": two bad bytes
    const wchar_t pair[] = {0xD83D, 0xDCC4, 0};                   // a UTF-16 surrogate pair
    EXPECT_EQ("\xF0\x9F\x93\x84", WideToUtf8(pair));
    const wchar_t lone[] = {L'x', 0xD800, 0};
    EXPECT_EQ("x\xEF\xBF\xBD", WideToUtf8(lone));
}

TEST(CString, PartsClampToTheText) {
    CString s(L"report.JPG");
    EXPECT_EQ(CString(L"report"), s.Left(6));
    EXPECT_EQ(CString(L"report.JPG"), s.Left(99));
    EXPECT_EQ(CString(L""), s.Left(-1));
    EXPECT_EQ(CString(L"JPG"), s.Right(3));
    EXPECT_EQ(CString(L".JPG"), s.Mid(6));
    EXPECT_EQ(CString(L"po"), s.Mid(2, 2));
    EXPECT_EQ(CString(L""), s.Mid(50));
}

TEST(CString, SearchAndEdit) {
    CString s(L"a/b/c.png");
    EXPECT_EQ(1, s.Find(L'/'));
    EXPECT_EQ(3, s.Find(L'/', 2));
    EXPECT_EQ(-1, s.Find(L'/', 4));
    EXPECT_EQ(3, s.ReverseFind(L'/'));
    EXPECT_EQ(4, s.Find(L"c.p"));
    EXPECT_EQ(2, s.Replace(L"/", L"//"));
    EXPECT_EQ(CString(L"a//b//c.png"), s);
    EXPECT_EQ(0, CString(L"IMG.Jpg").CompareNoCase(L"img.jpG"));
    EXPECT_EQ(CString(L"x y"), CString(L"  x y\t").Trim());
}

TEST(CString, FormatGrowsForLongText) {
    CString s;
    s.Format(L"%d-%ls", 42, std::wstring(1000, L'z').c_str());
    EXPECT_EQ(1003, s.GetLength());
    EXPECT_EQ(CString(L"42-z"), s.Left(4));
}

TEST(CString, ConcatenationAndNullSafety) {
    CString folder(L"/tmp");
    CString path = folder + L'/' + L"a.jpg";
    EXPECT_EQ(CString(L"/tmp/a.jpg"), path);
    EXPECT_TRUE(CString(static_cast<const wchar_t*>(nullptr)).IsEmpty());
    EXPECT_EQ("", WideToUtf8(nullptr));
}

}  // namespace
