// The QC report's HTML text: escaping of every text from the user or the
// host, numbers as the report prints them, settings rows and the page's own
// words (the method in words, the guide to reading it).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "numerics/deconvolution.h"
#include "report/runrecord.h"

namespace ppi::analysis::htmltext {

// Appends `hostText` for HTML text or a quoted attribute: the host's text as
// UTF-8 (common/hosttext.h), markup characters as references, control
// characters as U+FFFD. At most `limit` characters are kept; a longer text
// ends in an ellipsis.
void appendEscaped(std::string& out, std::string_view hostText,
                   std::size_t limit = std::string::npos);
std::string escaped(std::string_view text, std::size_t limit = std::string::npos);

// The last two components of a path, either separator: the file and its
// folder, which usually tells the subjects apart.
std::string_view fileName(std::string_view path);

// A number with `decimals` digits after the point; never "-0".
std::string fixed(double value, int decimals);
std::string integer(long long value);
// A condition's weight with its sign: "+1", "-2".
std::string signedWeight(int weight);

// One row of a two-column table of settings; `valueHtml` is HTML already.
void appendSettingRow(std::string& html, const char* name, const std::string& valueHtml);

// The method actually used, in words.
std::string methodInWords(const MethodOptions& method);
// The motion setting of a run, in words.
std::string motionSetting(const SettingsRecord& settings);
// The deconvolution's figures as HTML: penalty, where it lies on the grid,
// effective parameters.
std::string deconvolutionText(const DeconvolutionSummary& deconvolution);

// The guide "How to read this", naming the method the run used.
std::string howToRead(const MethodOptions& method);

}  // namespace ppi::analysis::htmltext
