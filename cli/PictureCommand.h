#pragma once

// The shape most subcommands share: read one picture, change it, write it.
#include <functional>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/Picture.h"
#include "platform/Rect.h"

namespace imgdesk::cli {

// Reads the one positional input, runs change on it (which reads its options from args) and
// writes the result to -o; nothing is written when an option is unknown.
int TransformPicture(Args& args, const std::function<void(Picture&)>& change);

// A 24-bit copy: colour pictures lose a fourth byte, 8-bit ones go through their palette.
Picture Colour24Copy(const Picture& picture);

// A packed grey copy of the picture (rows of exactly width bytes), as the grey filters take it.
std::vector<unsigned char> PackedGrey(const Picture& picture);
// An 8-bit grey picture made from packed grey rows.
Picture FromPackedGrey(const std::vector<unsigned char>& grey, int width, int height);

// "left,top,right,bottom" as a rectangle.
CRect ParseRect(const std::string& option, const std::string& text);
std::string FormatRect(const CRect& rect);

// Throws RunError with the message when an operation's result says it did nothing.
void Check(int result, const std::string& failure);

}  // namespace imgdesk::cli
