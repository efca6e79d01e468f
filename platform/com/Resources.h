#pragma once

// Module resources: FindResourceW, LoadResource, SizeofResource and LockResource over a table of
// resources. On Linux there is no resource section, so a host (or a test) registers the resources
// of a module handle of its choosing with RegisterResourceW before asking for them.
#include <cstdint>

#include "module/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/ObjBase.h"

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HRSRC__;
using HRSRC = HRSRC__*;

// A 16-bit integer resource name or type, carried in a pointer as on the platform.
inline LPWSTR MAKEINTRESOURCEW(unsigned id) {
    return reinterpret_cast<LPWSTR>(static_cast<std::uintptr_t>(static_cast<WORD>(id)));
}
inline bool IS_INTRESOURCE(LPCWSTR name) {
    return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}

inline const LPCWSTR RT_BITMAP = MAKEINTRESOURCEW(2);
inline const LPCWSTR RT_RCDATA = MAKEINTRESOURCEW(10);

// The resource of that name and type in the module's table, or null. Integer names and types match
// by number, string ones by text without regard to case.
IMGDESK_API HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
// A handle to the resource's bytes (LockResource gives their address); null for a null resource.
IMGDESK_API HGLOBAL LoadResource(HMODULE module, HRSRC resource);
// The resource's size in bytes; 0 for a null resource.
IMGDESK_API DWORD SizeofResource(HMODULE module, HRSRC resource);
// The address of a loaded resource's bytes; they stay valid until the resource is unregistered.
IMGDESK_API LPVOID LockResource(HGLOBAL loaded);
// Resources need no freeing; kept for code written against older platforms. Always FALSE.
IMGDESK_API BOOL FreeResource(HGLOBAL loaded);

// Registers a copy of size bytes as the resource (module, name, type), replacing one registered
// under the same key. FALSE on bad arguments or when memory is short.
IMGDESK_API BOOL RegisterResourceW(HMODULE module, LPCWSTR name, LPCWSTR type, const void* data,
                                   DWORD size);
// Removes a registered resource; FALSE when there was none. Handles to it become invalid.
IMGDESK_API BOOL UnregisterResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
