#include "host_bridge_harness.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "pigeon/korvane_bridge_method_table.h"

namespace host_testing {

namespace {

std::string ChannelIn(const KorvaneBridgeMethodDescription* methods,
                      size_t count,
                      const std::string& name) {
  const auto* found = std::find_if(methods, methods + count,
                                   [&](auto& m) { return name == m.name; });
  EXPECT_NE(found, methods + count) << "the bridge has no " << name;
  return found != methods + count ? found->channel : name;
}

}  // namespace

std::string Method(const std::string& name) {
  return ChannelIn(korvane_bridge_host_api_methods,
                   korvane_bridge_host_api_method_count, name);
}

std::string Event(const std::string& name) {
  return ChannelIn(korvane_bridge_flutter_api_methods,
                   korvane_bridge_flutter_api_method_count, name);
}

Bytes NoArguments() {
  return Arguments(fl_value_new_null());
}

Bytes Arguments(FlValue* list) {
  g_autoptr(FlValue) owned = list;
  return bridge_testing::Encode(owned);
}

Bytes RecordArgument(int type_id, gpointer record) {
  g_autoptr(GObject) owned = G_OBJECT(record);
  return Arguments(
      bridge_testing::List({bridge_testing::RecordValue(type_id, owned)}));
}

Bytes MountPad(int64_t player) {
  return RecordArgument(
      korvane_bridge_virtual_controller_mount_request_type_id,
      korvane_bridge_virtual_controller_mount_request_new(
          player, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD, "pad",
          nullptr, TRUE, TRUE));
}

Bytes DeckPress(int action, const gchar* custom_key, bool modifiers) {
  return RecordArgument(
      korvane_bridge_native_deck_action_request_type_id,
      korvane_bridge_native_deck_action_request_new(
          "button", static_cast<KorvaneBridgeNativeDeckActionType>(action),
          custom_key, modifiers, modifiers, modifiers, modifiers));
}

FlValue* Element(const Bytes& bytes) {
  g_autoptr(FlValue) list = bridge_testing::Decode(bytes);
  const bool one = list != nullptr &&
                   fl_value_get_type(list) == FL_VALUE_TYPE_LIST &&
                   fl_value_get_length(list) == 1;
  EXPECT_TRUE(one);
  return one ? fl_value_ref(fl_value_get_list_value(list, 0))
             : fl_value_new_null();
}

void Gate::Pass() {
  std::unique_lock<std::mutex> lock(mutex_);
  ++arrivals_;
  g_main_context_wakeup(nullptr);
  opened_.wait(lock, [this] { return open_; });
}

int Gate::Arrivals() {
  std::lock_guard<std::mutex> lock(mutex_);
  return arrivals_;
}

void Gate::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = true;
  opened_.notify_all();
}

FlValue* HostBridgeHarness::Call(const std::string& channel,
                                 const Bytes& message,
                                 std::chrono::milliseconds timeout) {
  std::optional<Bytes> reply = dart_.Call(channel, message, timeout);
  EXPECT_TRUE(reply.has_value()) << channel;
  return reply ? Element(*reply) : fl_value_new_null();
}

bool HostBridgeHarness::CallBool(const std::string& channel,
                                 const Bytes& message,
                                 std::chrono::milliseconds timeout) {
  g_autoptr(FlValue) value = Call(channel, message, timeout);
  return fl_value_get_type(value) == FL_VALUE_TYPE_BOOL &&
         fl_value_get_bool(value);
}

}  // namespace host_testing
