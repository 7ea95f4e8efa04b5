#ifndef PEER_TOOL_HEX_H_
#define PEER_TOOL_HEX_H_

#include <optional>
#include <string>

#include "frame.h"

namespace korvane_peer_tool {

// "0c0103", "0c 01 03" and "" are accepted; anything else that is not pairs
// of hexadecimal digits (spaces between pairs allowed) is not.
std::optional<korvane_peer::Bytes> ParseHex(const std::string& text);

// Lower case, pairs separated by one space.
std::string FormatHex(const korvane_peer::Bytes& bytes);

}  // namespace korvane_peer_tool

#endif  // PEER_TOOL_HEX_H_
