// Small text helpers shared by the stand-in host's readers, its application
// and the demo's command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace standin {

// How the readers fail: the reason goes into `*error` when one is asked for,
// and the answer is false, or no value.
inline bool fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

template <typename T>
std::optional<T> failed(std::string* error, const std::string& why) {
  fail(error, why);
  return std::nullopt;
}

// Reads a whole decimal integer (an optional minus, then digits, nothing
// else); false, and `value` unchanged, when the text is anything else or out
// of range.
bool parseInt(std::string_view text, int& value);

// The folder part of a path, "/" and "\" both separating: "." when the path
// has no folder part.
std::string folderOf(const std::string& path);

}  // namespace standin
