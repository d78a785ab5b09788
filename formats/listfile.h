// The PPI list file (".ppi"), which the autosave list shares.
//
// A list file holds one line per subject and nothing else:
//   <VTC path> TAB <VOI path> TAB <index of the chosen VOI, from 0> LF
// or, for a subject whose motion-estimates file is known, four fields:
//   <VTC path> TAB <VOI path> TAB <index> TAB <motion-estimates path> LF
// The last line ends with a line feed too. The reader takes the file line by
// line: fields split at tabs, so a path may hold blanks; a line without a tab
// (one written by hand) is split at runs of blanks instead. A carriage return
// before the line feed does no harm, and a last line without a line feed is
// read all the same. A path holding a tab, a line feed or a carriage return
// cannot be stored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ppi::model {

// One subject's line, with its line feed; the fourth field only with a
// motion-estimates path.
std::string formatListLine(std::string_view vtcPath, std::string_view voiPath, int chosenVOI,
                           std::string_view motionPath = {});

struct ListFileLine {
  int lineNumber = 0;            // in the file, from 1
  std::string vtcPath;           // empty when the line is rejected
  std::string voiPath;           // empty when the line is rejected
  std::optional<int> chosenVOI;  // none when the line is rejected
  std::string motionPath;        // the fourth field; empty when the line has three
  std::string problem;           // why the line is rejected; empty when it is not

  bool rejected() const { return !problem.empty(); }
};

// The subject lines of a list file's text, one per line that holds more than
// blanks (blank lines are skipped). A line whose fields are not a time course,
// a region file and a decimal index from 0, and optionally a motion-estimates
// file, is rejected alone, with its reason; the next line is read as if it
// were the first.
std::vector<ListFileLine> readListFileText(std::string_view text);

// True when the list format can hold `path` (no tab, line feed or carriage return).
bool listCanHoldPath(std::string_view path);

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
