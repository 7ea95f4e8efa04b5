#ifndef PEER_TOOL_RECORD_TEXT_H_
#define PEER_TOOL_RECORD_TEXT_H_

#include <flutter_linux/flutter_linux.h>

#include <string>

namespace korvane_peer_tool {

// A decoded bridge value as text: records in their own text form, lists one
// element per line, anything else as the embedding prints it.
std::string DescribeValue(FlValue* value);

}  // namespace korvane_peer_tool

#endif  // PEER_TOOL_RECORD_TEXT_H_
