#pragma once

// The built-in codecs of the GDI+ stand-in.
#include "platform/codecs/Codecs.h"
#include "platform/gdiplus/GdiPlus.h"

namespace imgdesk::gdiplus {

struct Signature {
    const char* bytes;
    std::size_t size;
};

struct BuiltinCodec {
    CLSID clsid;
    GUID formatId;
    const wchar_t* name;
    const wchar_t* description;
    const wchar_t* extensions;
    const wchar_t* mime;
    codecs::Format format;
    Signature signatures[2];
};

// The codec with that class identifier, or null.
const BuiltinCodec* FindCodec(const CLSID& clsid);
// The raw-format identifier of a decoded format.
const GUID& RawFormatOf(codecs::Format format);

}  // namespace imgdesk::gdiplus
