#include <ctime>
#include <cwchar>

#include "service/CoreKit.h"

CString GetSysTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    wchar_t text[32];
    std::wcsftime(text, sizeof text / sizeof text[0], L"%Y%m%d-%H%M%S", &local);
    return CString(text);
}
