#pragma once

// Marks the classes and functions the library exports. The library is built with hidden
// visibility, so only what carries this mark is part of its binary interface.
#define IMGDESK_API __attribute__((visibility("default")))
