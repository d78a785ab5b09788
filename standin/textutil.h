// Small text helpers shared by the stand-in host's readers, its application
// and the demo's command line.
#pragma once

#include <string>
#include <string_view>

namespace standin {

// Reads a whole decimal integer (an optional minus, then digits, nothing
// else); false, and `value` unchanged, when the text is anything else or out
// of range.
bool parseInt(std::string_view text, int& value);

// The folder part of a path, "/" and "\" both separating: "." when the path
// has no folder part.
std::string folderOf(const std::string& path);

}  // namespace standin
