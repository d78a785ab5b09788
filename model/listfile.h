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

// Creates or empties the file and writes `content` byte for byte; false when
// anything of it did not reach the file.
bool writeWholeFile(const std::string& path, std::string_view content);

// Creates or empties the list file and writes the lines in text mode, so that
// each line ends as the platform's text files end theirs; false when anything
// of it did not reach the file.
bool writeListFile(const std::string& path, std::string_view lines);

}  // namespace ppi::model
