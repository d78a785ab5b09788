// The analysis run: the handler of "Start". Reads the run settings, asks the
// run-wide questions, checks the GUI's list against the subject list, builds
// and saves every subject's design matrix in list order, and publishes
// "SDMFileList" and "nr_subs".
#pragma once

#include <cstddef>
#include <string_view>

class ppiplugin;

namespace ppi {

// The most entries a run's list may hold.
constexpr std::size_t kMaxListEntries = 256;

// True when every subject was processed and the results were published; false,
// after one log line, when the run stopped.
bool runAnalysis(ppiplugin& plugin);

// The number of entries of a line-feed separated list: the number of line
// feeds, plus one when the text is longer than two characters. The character
// after a line feed always belongs to the next entry, even a line feed.
std::size_t countListEntries(std::string_view list);

}  // namespace ppi
