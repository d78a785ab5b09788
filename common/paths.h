// Small text operations on paths and on the GUI's line-feed separated lists.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/boundedtext.h"

namespace ppi {

struct SplitPath {
  std::string directory;  // the text before the last "/", without it
  std::string fileName;   // the text after the last "/"
};

// Splits at the last "/" (a backslash is an ordinary character). A path with no
// "/" is returned whole as both file name and directory. Echoes what it splits
// to standard output.
SplitPath splitPath(std::string_view path);

using ListText = FixedText<kListLimit>;

// Appends a line to a list whose lines are separated by single line feeds,
// with none after the last. False, and the list unchanged, when the result
// would not fit.
bool appendLine(std::string_view line, ListText& list);

// The number of entries of a line-feed separated list: the number of line
// feeds, plus one when the text is longer than two characters. The character
// after a line feed always belongs to the next entry, even a line feed.
std::size_t countListEntries(std::string_view list);

}  // namespace ppi
