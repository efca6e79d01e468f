#pragma once

// The service library: scratch memory, folders, time text, file search and deletion. The PDF
// writer, zip archives and thumbnails live beside these in their own headers.
#include <cstddef>
#include <list>

#include "module/Export.h"
#include "platform/CString.h"

// --- Memory ---------------------------------------------------------------------------------

// A zero-filled block of at least size bytes, or null when memory is short or size is negative.
// Release it with DelMem.
IMGDESK_API void* NewMem(int size);
// Releases a NewMem block; a null block is accepted and ignored.
IMGDESK_API void DelMem(void* block);

// The functions NewMem and DelMem take their memory from. A host may route the library's memory
// through its own allocator; tests count live blocks and make chosen allocations fail.
// allocate returns null on failure; release is never called with null.
struct MemHooks {
    void* (*allocate)(std::size_t size);
    void (*release)(void* block);
};
// Installs hooks and returns the previous ones. Both functions must be set; a pair with a null
// member restores the default (the C heap). Blocks must be released through the hooks that
// allocated them.
IMGDESK_API MemHooks SetMemHooks(MemHooks hooks);

// --- Folders ----------------------------------------------------------------------------------

// Folder for temporary data (intermediate JPEG pages, mail archives): $IMGDESK_TEMP_DIR, else
// $XDG_CACHE_HOME/imgdesk/temp, else ~/.cache/imgdesk/temp. Created when first asked for; no
// trailing separator.
IMGDESK_API CString GetTempDataPath();
// Folder whose images are bound into an archive: $IMGDESK_BIND_DIR, else
// $XDG_DATA_HOME/imgdesk/bind, else ~/.local/share/imgdesk/bind. Created when first asked for; no
// trailing separator.
IMGDESK_API CString GetBindPath();

// --- Time and files ---------------------------------------------------------------------------

// The local time to the second as text valid in a file name: "YYYYMMDD-HHMMSS".
IMGDESK_API CString GetSysTime();

// Appends to list the full path of every regular file in the pattern's folder whose name matches
// the pattern's file-name part ('*' any run, '?' any one character, case-insensitive). Matches
// are appended sorted by name, case-insensitively; the list is never cleared. Returns the number
// of paths appended (0 when the folder cannot be read).
IMGDESK_API int SearchFileList(const wchar_t* pattern, std::list<CString>& list);

// Deletes a file; nonzero on success.
IMGDESK_API int DelFile(const wchar_t* path);

#include "service/Thumbs.h"
#include "service/Jpg2Pdf.h"
#include "service/Zip.h"
