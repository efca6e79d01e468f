#pragma once

// The shape most subcommands share: read one picture, change it, write it.
#include <functional>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/Picture.h"
#include "platform/Rect.h"

namespace imgdesk::cli {

// Reads the one positional input ('-': standard input), runs change on it (which reads its
// options from args) and writes the result to -o/--output ('-': standard output); nothing is
// written when an option does not apply.
int TransformPicture(Args& args, const std::function<void(Picture&)>& change);

// A 24-bit copy: colour pictures lose a fourth byte, 8-bit ones go through their palette.
Picture Colour24Copy(const Picture& picture);

// A palette picture whose palette is not a grey ramp becomes its 24-bit colour copy; others stay
// as they are. For operations that blend neighbouring pixels or compare grey levels: on a palette
// they would blend or compare indices.
void ExpandPalette(Picture& picture);
// The picture as the detection operations take it: its 24-bit colour copy unless it is one, so
// that a palette or grey picture gives the same answer as its colour copy.
void MakeColour24(Picture& picture);

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
