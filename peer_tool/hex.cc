#include "hex.h"

#include <glib.h>

namespace korvane_peer_tool {

std::optional<korvane_peer::Bytes> ParseHex(const std::string& text) {
  korvane_peer::Bytes bytes;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      i++;
      continue;
    }
    if (i + 1 >= text.size()) {
      return std::nullopt;
    }
    int high = g_ascii_xdigit_value(text[i]);
    int low = g_ascii_xdigit_value(text[i + 1]);
    if (high < 0 || low < 0) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    i += 2;
  }
  return bytes;
}

std::string FormatHex(const korvane_peer::Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : bytes) {
    if (!text.empty()) {
      text += ' ';
    }
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xf];
  }
  return text;
}

}  // namespace korvane_peer_tool
