// Small text operations on paths and on the GUI's line-feed separated lists.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

// The number of entries of a line-feed separated list: the number of line
// feeds, plus one when the text is longer than two characters. The character
// after a line feed always belongs to the next entry, even a line feed.
std::size_t countListEntries(std::string_view list);

// A GUI list longer than one text parameter holds is published in parts:
// "<name>" holds the first, "<name>-2", "<name>-3", ... the next ones, each at
// most kListLimit characters of whole lines, and the integer "<name>-parts"
// counts them. A list that fits is "<name>" alone, as it always was: its count
// is left unset, or set to 1 once the list was longer before. A count below 2
// therefore means "<name>" alone, and the parts past the count are emptied
// whenever it falls.
constexpr const char* kListPartsSuffix = "-parts";

// "<name>" for part 1, "<name>-<part>" for the later ones.
std::string listPartName(std::string_view name, std::size_t part);
std::string listCountName(std::string_view name);

// The parts of a list, filled in order, each with as many whole lines as fit
// in `limit` characters (the line feed between two parts is left out). An
// empty list is one empty part. False when a line alone is longer than `limit`.
bool splitListParts(std::string_view list, std::vector<std::string>& parts,
                    std::size_t limit = kListLimit);

// True when `next` begins with a line that `part` would not have had room for:
// the mark of a part that splitListParts filled. A first part rewritten by
// someone who knew nothing of the parts (emptied, or set to a short list)
// fails it, and its old later parts must not be read as the list's.
bool partIsFull(std::string_view part, std::string_view next, std::size_t limit = kListLimit);

// The list that the parts hold: all of them joined by line feeds when every
// part but the last is full; the first part alone when one is not.
std::string joinListParts(const std::vector<std::string>& parts, std::size_t limit = kListLimit);

}  // namespace ppi
