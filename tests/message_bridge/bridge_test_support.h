#ifndef TESTS_MESSAGE_BRIDGE_BRIDGE_TEST_SUPPORT_H_
#define TESTS_MESSAGE_BRIDGE_BRIDGE_TEST_SUPPORT_H_

#include <string>

#include "bytes.h"
#include "pigeon/korvane_native_bridge.g.h"

namespace bridge_testing {

using flutter_testing::Bytes;

// Encodes `value` as one message with the bridge codec.
Bytes Encode(FlValue* value);

// Decodes one message with the bridge codec; nullptr on failure, with the
// error's code and message in the optional outputs.
FlValue* Decode(const Bytes& bytes,
                int* error_code = nullptr,
                std::string* error_message = nullptr);

// [values...], taking the values.
FlValue* List(std::initializer_list<FlValue*> values);

// A record wrapped as the custom value of its type code.
FlValue* RecordValue(int code, gpointer record);

}  // namespace bridge_testing

#endif  // TESTS_MESSAGE_BRIDGE_BRIDGE_TEST_SUPPORT_H_
