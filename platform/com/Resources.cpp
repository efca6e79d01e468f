#include "platform/com/Resources.h"

#include <cwctype>
#include <list>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

// A resource name or type: an integer identifier or a case-folded string.
struct ResourceKey {
    bool isInteger = false;
    WORD id = 0;
    std::wstring text;

    static ResourceKey From(LPCWSTR name) {
        ResourceKey key;
        if (IS_INTRESOURCE(name)) {
            key.isInteger = true;
            key.id = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name));
        } else {
            for (const wchar_t* p = name; *p; ++p)
                key.text += static_cast<wchar_t>(std::towupper(*p));
        }
        return key;
    }
    bool operator==(const ResourceKey& other) const {
        return isInteger == other.isInteger && id == other.id && text == other.text;
    }
};

}  // namespace

// The record a resource handle points at.
struct HRSRC__ {
    HMODULE module;
    ResourceKey name;
    ResourceKey type;
    std::vector<unsigned char> bytes;
};

namespace {

struct Table {
    std::mutex mutex;
    std::list<HRSRC__> entries;  // a list, so that handles stay valid while others come and go
};

Table& Resources() {
    static Table table;
    return table;
}

HRSRC__* FindEntry(Table& table, HMODULE module, const ResourceKey& name, const ResourceKey& type) {
    for (HRSRC__& entry : table.entries) {
        if (entry.module == module && entry.name == name && entry.type == type)
            return &entry;
    }
    return nullptr;
}

}  // namespace

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (!name || !type)
        return nullptr;
    try {
        const ResourceKey nameKey = ResourceKey::From(name), typeKey = ResourceKey::From(type);
        Table& table = Resources();
        std::lock_guard<std::mutex> lock(table.mutex);
        return FindEntry(table, module, nameKey, typeKey);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    if (!resource)
        return nullptr;
    // The bytes' address, as the platform hands it out; a resource of no bytes still loads.
    return resource->bytes.empty() ? static_cast<void*>(resource) : resource->bytes.data();
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    return resource ? static_cast<DWORD>(resource->bytes.size()) : 0;
}

LPVOID LockResource(HGLOBAL loaded) {
    return loaded;
}

BOOL FreeResource(HGLOBAL) {
    return FALSE;
}

BOOL RegisterResourceW(HMODULE module, LPCWSTR name, LPCWSTR type, const void* data, DWORD size) {
    if (!name || !type || (!data && size))
        return FALSE;
    try {
        HRSRC__ entry{module, ResourceKey::From(name), ResourceKey::From(type),
                      std::vector<unsigned char>(static_cast<const unsigned char*>(data),
                                                 static_cast<const unsigned char*>(data) + size)};
        Table& table = Resources();
        std::lock_guard<std::mutex> lock(table.mutex);
        if (HRSRC__* existing = FindEntry(table, module, entry.name, entry.type)) {
            existing->bytes.swap(entry.bytes);
        } else {
            table.entries.push_back(std::move(entry));
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

BOOL UnregisterResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (!name || !type)
        return FALSE;
    try {
        const ResourceKey nameKey = ResourceKey::From(name), typeKey = ResourceKey::From(type);
        Table& table = Resources();
        std::lock_guard<std::mutex> lock(table.mutex);
        for (auto it = table.entries.begin(); it != table.entries.end(); ++it) {
            if (it->module == module && it->name == nameKey && it->type == typeKey) {
                table.entries.erase(it);
                return TRUE;
            }
        }
        return FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}
