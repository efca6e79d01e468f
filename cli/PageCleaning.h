#pragma once

// How the scan command cleans each page after cutting it out: black and white (the page cleaner's
// local threshold, or the document class's classic conversion by name), or whitened paper.
#include <optional>
#include <string>

#include "cli/Picture.h"

namespace imgdesk::cli {

enum class Cleaning { None, Mono, MonoClassic, Whiten };

// The cleaning that --mono[=adaptive|classic] and --whiten ask for; UsageError for an unknown
// kind or both at once.
Cleaning ParseCleaning(const std::optional<std::string>& mono, bool whiten);

// The page cleaned: Mono gives an 8-bit grey-palette picture of 0 and 255, MonoClassic the
// document class's black and white at the page's own bit depth, Whiten the paper made white.
// Throws RunError naming what when memory is short.
Picture CleanPage(Picture page, Cleaning cleaning, const std::string& what);

}  // namespace imgdesk::cli
