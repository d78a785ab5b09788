// The PPI list file (".ppi"), which the autosave list shares.
//
// A list file holds one line per subject and nothing else:
//   <VTC path> TAB <VOI path> TAB <index of the chosen VOI, from 0> LF
// The last line ends with a line feed too. Readers split at any whitespace, so a
// carriage return before the line feed does no harm, and a path holding a blank
// cannot be stored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ppi::model {

// One subject's line, with its line feed.
std::string formatListLine(std::string_view vtcPath, std::string_view voiPath, int chosenVOI);

struct ListFileLine {
  std::string vtcPath;           // empty when the read failed
  std::string voiPath;           // empty when the read failed
  std::optional<int> chosenVOI;  // none when the read failed
};

// The subject lines of a list file's text: one attempt per line feed in the
// text (a last line without one is not read). Each attempt reads a word, a word
// and a decimal integer, skipping whitespace before each. Once a read has
// failed, every later read fails too.
std::vector<ListFileLine> readListFileText(std::string_view text);

// Reads a whole file byte for byte; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& content);

// Replaces the file, or creates it, with `content` byte for byte, through the
// file layer: an old file stays whole unless the new one is complete. False
// when the new file could not be put in place.
bool writeWholeFile(const std::string& path, std::string_view content);

// The same for a list file, written in text mode, so that each line ends as
// the platform's text files end theirs.
bool writeListFile(const std::string& path, std::string_view lines);

}  // namespace ppi::model
