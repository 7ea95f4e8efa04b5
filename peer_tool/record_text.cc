#include "record_text.h"

#include "pigeon/korvane_native_bridge.g.h"

namespace korvane_peer_tool {

namespace {

struct RecordPrinter {
  int code;
  gchar* (*to_string)(GObject* record);
};

#define RECORD_PRINTER(record, RECORD)                       \
  {                                                          \
    korvane_bridge_##record##_type_id, [](GObject* object) { \
      return korvane_bridge_##record##_to_string(            \
          KORVANE_BRIDGE_##RECORD(object));                  \
    }                                                        \
  }

const RecordPrinter kRecordPrinters[] = {
    RECORD_PRINTER(native_driver_health, NATIVE_DRIVER_HEALTH),
    RECORD_PRINTER(virtual_controller_mount_request,
                   VIRTUAL_CONTROLLER_MOUNT_REQUEST),
    RECORD_PRINTER(virtual_controller_frame, VIRTUAL_CONTROLLER_FRAME),
    RECORD_PRINTER(native_rumble_event, NATIVE_RUMBLE_EVENT),
    RECORD_PRINTER(native_player_led_event, NATIVE_PLAYER_LED_EVENT),
    RECORD_PRINTER(native_deck_action_request, NATIVE_DECK_ACTION_REQUEST),
    RECORD_PRINTER(native_system_telemetry_snapshot,
                   NATIVE_SYSTEM_TELEMETRY_SNAPSHOT),
    RECORD_PRINTER(capturable_window_info, CAPTURABLE_WINDOW_INFO),
    RECORD_PRINTER(second_screen_capture_config, SECOND_SCREEN_CAPTURE_CONFIG),
    RECORD_PRINTER(captured_window_frame, CAPTURED_WINDOW_FRAME),
    RECORD_PRINTER(native_stylus_injection_request,
                   NATIVE_STYLUS_INJECTION_REQUEST),
};

#undef RECORD_PRINTER

}  // namespace

std::string DescribeValue(FlValue* value) {
  if (fl_value_get_type(value) == FL_VALUE_TYPE_LIST) {
    size_t length = fl_value_get_length(value);
    if (length == 0) {
      return "[]";
    }
    std::string text;
    for (size_t i = 0; i < length; i++) {
      text += (i == 0 ? "" : "\n") +
              DescribeValue(fl_value_get_list_value(value, i));
    }
    return text;
  }
  if (fl_value_get_type(value) == FL_VALUE_TYPE_CUSTOM) {
    for (const RecordPrinter& printer : kRecordPrinters) {
      if (printer.code == fl_value_get_custom_type(value)) {
        g_autofree gchar* text =
            printer.to_string(fl_value_get_custom_value_object(value));
        return text;
      }
    }
  }
  g_autofree gchar* text = fl_value_to_string(value);
  return text;
}

}  // namespace korvane_peer_tool
