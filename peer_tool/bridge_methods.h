#ifndef PEER_TOOL_BRIDGE_METHODS_H_
#define PEER_TOOL_BRIDGE_METHODS_H_

// The host-API methods as the Dart side calls them: which channel each is on,
// what it takes and how a request is built from "name=value" words. Records
// are built and laid out by the message bridge itself.

#include <flutter_linux/flutter_linux.h>

#include <string>
#include <vector>

#include "pigeon/korvane_bridge_method_table.h"

namespace korvane_peer_tool {

// One method of one of the bridge's host APIs, as the bridge describes it.
using BridgeMethod = KorvaneBridgeMethodDescription;

const std::vector<BridgeMethod>& BridgeMethods();

// nullptr when no method has that name.
const BridgeMethod* FindBridgeMethod(const std::string& name);

// One "name=KIND" per argument, as --help shows them.
std::vector<std::string> ArgumentsUsage(const BridgeMethod& method);

// The request list built from `arguments` ("name=value" words), or nullptr
// with `error` set. Record fields that are left out are 0, false, empty
// text or, where a field may be null, null.
FlValue* BuildRequest(const BridgeMethod& method,
                      const std::vector<std::string>& arguments,
                      std::string* error);

}  // namespace korvane_peer_tool

#endif  // PEER_TOOL_BRIDGE_METHODS_H_
