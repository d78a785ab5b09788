#include "common/hosttext.h"

#include <algorithm>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace ppi {
namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned int low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

namespace {

std::string latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

#if defined(_WIN32)

namespace {

// `flags` 0 reads the text as the "A" calls do; MB_ERR_INVALID_CHARS fails
// (an empty result) on a byte sequence the code page does not hold.
std::wstring fromCodePage(std::string_view text, DWORD flags) {
  std::wstring wide;
  if (text.empty()) return wide;
  const int size = MultiByteToWideChar(CP_ACP, flags, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  if (size <= 0) return wide;
  wide.resize(static_cast<std::size_t>(size));
  MultiByteToWideChar(CP_ACP, flags, text.data(), static_cast<int>(text.size()), &wide[0], size);
  return wide;
}

}  // namespace

std::wstring hostTextToWide(std::string_view text) { return fromCodePage(text, 0); }

std::string hostTextToUtf8(std::string_view text) {
  if (isAscii(text)) return std::string(text);
  const std::wstring wide = fromCodePage(text, MB_ERR_INVALID_CHARS);
  if (wide.empty()) return latin1ToUtf8(text);
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return latin1ToUtf8(text);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

#else

std::string hostTextToUtf8(std::string_view text) {
  if (isAscii(text) || isValidUtf8(text)) return std::string(text);
  return latin1ToUtf8(text);
}

#endif

}  // namespace ppi
