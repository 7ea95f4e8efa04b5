#include "korvane_bridge_codec.h"

#include <vector>

#include "korvane_bridge_record_schema.h"

using namespace korvane_bridge_records;

const int korvane_bridge_native_gamepad_persona_type_id = kGamepadPersonaCode;
const int korvane_bridge_native_driver_readiness_type_id = kDriverReadinessCode;
const int korvane_bridge_native_deck_action_type_type_id = kDeckActionTypeCode;
const int korvane_bridge_second_screen_touch_mode_type_id =
    kSecondScreenTouchModeCode;
const int korvane_bridge_stylus_phase_type_id = kStylusPhaseCode;
const int korvane_bridge_native_driver_health_type_id = kNativeDriverHealthCode;
const int korvane_bridge_virtual_controller_mount_request_type_id =
    kVirtualControllerMountRequestCode;
const int korvane_bridge_virtual_controller_frame_type_id =
    kVirtualControllerFrameCode;
const int korvane_bridge_native_rumble_event_type_id = kNativeRumbleEventCode;
const int korvane_bridge_native_player_led_event_type_id =
    kNativePlayerLedEventCode;
const int korvane_bridge_native_deck_action_request_type_id =
    kNativeDeckActionRequestCode;
const int korvane_bridge_native_system_telemetry_snapshot_type_id =
    kNativeSystemTelemetrySnapshotCode;
const int korvane_bridge_capturable_window_info_type_id =
    kCapturableWindowInfoCode;
const int korvane_bridge_second_screen_capture_config_type_id =
    kSecondScreenCaptureConfigCode;
const int korvane_bridge_captured_window_frame_type_id =
    kCapturedWindowFrameCode;
const int korvane_bridge_native_stylus_injection_request_type_id =
    kNativeStylusInjectionRequestCode;

struct _KorvaneBridgeMessageCodec {
  FlStandardMessageCodec parent_instance;
};

G_DEFINE_TYPE(KorvaneBridgeMessageCodec,
              korvane_bridge_message_codec,
              fl_standard_message_codec_get_type())

namespace {

void UnrefValue(gpointer value) {
  fl_value_unref(static_cast<FlValue*>(value));
}

FlValue* NewEnumValue(int code, FlValue* integer) {
  return fl_value_new_custom(code, integer, UnrefValue);
}

FlValue* FieldToValue(const FieldDescription& description, const FieldValue& field) {
  switch (description.kind) {
    case FieldKind::kInt:
      return fl_value_new_int(field.int_value);
    case FieldKind::kDouble:
      return fl_value_new_float(field.double_value);
    case FieldKind::kBool:
      return fl_value_new_bool(field.bool_value);
    case FieldKind::kEnum:
      return NewEnumValue(description.enum_code, fl_value_new_int(field.enum_value));
    case FieldKind::kText:
      // The peer expects a string here; a record built without one still
      // encodes as one rather than as a null it would choke on.
      return fl_value_new_string(field.text != nullptr ? field.text : "");
    case FieldKind::kNullableText:
      return field.text != nullptr ? fl_value_new_string(field.text)
                                   : fl_value_new_null();
    case FieldKind::kBytes:
      return fl_value_new_uint8_list(field.bytes.data, field.bytes.length);
  }
  return fl_value_new_null();
}

FlValue* RecordToList(const RecordSchema& schema, GObject* record) {
  const FieldValue* fields = FieldsOf(schema, record);
  FlValue* list = fl_value_new_list();
  for (size_t i = 0; i < schema.field_count; i++) {
    fl_value_append_take(list, FieldToValue(schema.fields[i], fields[i]));
  }
  return list;
}

// Reads one element into `field` (texts and bytes borrowed from `element`);
// false when the element is not of the field's kind.
bool ValueToField(const FieldDescription& description, FlValue* element, FieldValue* field) {
  FlValueType type = fl_value_get_type(element);
  switch (description.kind) {
    case FieldKind::kInt:
      if (type != FL_VALUE_TYPE_INT) {
        return false;
      }
      field->int_value = fl_value_get_int(element);
      return true;
    case FieldKind::kDouble:
      if (type != FL_VALUE_TYPE_FLOAT) {
        return false;
      }
      field->double_value = fl_value_get_float(element);
      return true;
    case FieldKind::kBool:
      if (type != FL_VALUE_TYPE_BOOL) {
        return false;
      }
      field->bool_value = fl_value_get_bool(element);
      return true;
    case FieldKind::kEnum: {
      // Any of the bridge's enumeration codes carries an integer payload;
      // which one the peer used does not matter to the record.
      if (type != FL_VALUE_TYPE_CUSTOM ||
          !IsEnumCode(fl_value_get_custom_type(element))) {
        return false;
      }
      auto* payload = static_cast<FlValue*>(
          const_cast<gpointer>(fl_value_get_custom_value(element)));
      if (fl_value_get_type(payload) != FL_VALUE_TYPE_INT) {
        return false;
      }
      field->enum_value = static_cast<gint>(fl_value_get_int(payload));
      return true;
    }
    case FieldKind::kNullableText:
      if (type == FL_VALUE_TYPE_NULL) {
        field->text = nullptr;
        return true;
      }
      [[fallthrough]];
    case FieldKind::kText:
      if (type != FL_VALUE_TYPE_STRING) {
        return false;
      }
      field->text = const_cast<gchar*>(fl_value_get_string(element));
      return true;
    case FieldKind::kBytes:
      if (type != FL_VALUE_TYPE_UINT8_LIST) {
        return false;
      }
    {
      // An empty list may come without storage; it is still a present,
      // empty array, not an absent one.
      static const uint8_t kNoBytes = 0;
      const uint8_t* data = fl_value_get_uint8_list(element);
      field->bytes.data = const_cast<uint8_t*>(data != nullptr ? data : &kNoBytes);
      field->bytes.length = fl_value_get_length(element);
      return true;
    }
  }
  return false;
}

// Builds a record from its decoded field list, or returns nullptr when the
// list is shorter than the record or holds an element of the wrong type.
// Extra trailing elements are ignored.
GObject* ListToRecord(const RecordSchema& schema, FlValue* list) {
  if (fl_value_get_type(list) != FL_VALUE_TYPE_LIST ||
      fl_value_get_length(list) < schema.field_count) {
    return nullptr;
  }
  std::vector<FieldValue> fields(schema.field_count);
  for (size_t i = 0; i < schema.field_count; i++) {
    if (!ValueToField(schema.fields[i], fl_value_get_list_value(list, i),
                      &fields[i])) {
      return nullptr;
    }
  }
  return NewRecord(schema, fields.data());
}

}  // namespace

static gboolean korvane_bridge_message_codec_write_value(
    FlStandardMessageCodec* codec,
    GByteArray* buffer,
    FlValue* value,
    GError** error) {
  int code = value != nullptr && fl_value_get_type(value) == FL_VALUE_TYPE_CUSTOM
                 ? fl_value_get_custom_type(value)
                 : -1;
  if (IsEnumCode(code)) {
    uint8_t type = code;
    g_byte_array_append(buffer, &type, sizeof(type));
    return fl_standard_message_codec_write_value(
        codec, buffer,
        static_cast<FlValue*>(const_cast<gpointer>(fl_value_get_custom_value(value))),
        error);
  }
  if (IsRecordCode(code)) {
    const RecordSchema* schema = SchemaForCode(code);
    GObject* record = fl_value_get_custom_value_object(value);
    if (!G_TYPE_CHECK_INSTANCE_TYPE(record, schema->get_type())) {
      g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_FAILED,
                  "Custom value %d does not hold a %s", code,
                  schema->short_name);
      return FALSE;
    }
    uint8_t type = code;
    g_byte_array_append(buffer, &type, sizeof(type));
    g_autoptr(FlValue) list = RecordToList(*schema, record);
    return fl_standard_message_codec_write_value(codec, buffer, list, error);
  }
  return FL_STANDARD_MESSAGE_CODEC_CLASS(korvane_bridge_message_codec_parent_class)
      ->write_value(codec, buffer, value, error);
}

static FlValue* korvane_bridge_message_codec_read_value_of_type(
    FlStandardMessageCodec* codec,
    GBytes* buffer,
    size_t* offset,
    int type,
    GError** error) {
  if (!IsEnumCode(type) && !IsRecordCode(type)) {
    return FL_STANDARD_MESSAGE_CODEC_CLASS(
               korvane_bridge_message_codec_parent_class)
        ->read_value_of_type(codec, buffer, offset, type, error);
  }

  FlValue* payload =
      fl_standard_message_codec_read_value(codec, buffer, offset, error);
  if (payload == nullptr) {
    return nullptr;
  }
  if (IsEnumCode(type)) {
    return NewEnumValue(type, payload);
  }

  g_autoptr(FlValue) list = payload;
  GObject* record = ListToRecord(*SchemaForCode(type), list);
  if (record == nullptr) {
    g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_FAILED,
                "Invalid data received for MessageData");
    return nullptr;
  }
  return fl_value_new_custom_object_take(type, record);
}

static void korvane_bridge_message_codec_class_init(
    KorvaneBridgeMessageCodecClass* klass) {
  FL_STANDARD_MESSAGE_CODEC_CLASS(klass)->write_value =
      korvane_bridge_message_codec_write_value;
  FL_STANDARD_MESSAGE_CODEC_CLASS(klass)->read_value_of_type =
      korvane_bridge_message_codec_read_value_of_type;
}

static void korvane_bridge_message_codec_init(KorvaneBridgeMessageCodec*) {}
