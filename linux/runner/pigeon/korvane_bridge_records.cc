#include "korvane_bridge_records.h"

#include <inttypes.h>
#include <math.h>
#include <string.h>

#include <initializer_list>

#include "korvane_bridge_record_schema.h"

namespace korvane_bridge_records {

namespace {

bool FieldEquals(const FieldDescription& description,
                 const FieldValue& a,
                 const FieldValue& b) {
  switch (description.kind) {
    case FieldKind::kInt:
      return a.int_value == b.int_value;
    case FieldKind::kDouble:
      return a.double_value == b.double_value ||
             (isnan(a.double_value) && isnan(b.double_value));
    case FieldKind::kBool:
      return a.bool_value == b.bool_value;
    case FieldKind::kEnum:
      return a.enum_value == b.enum_value;
    case FieldKind::kText:
    case FieldKind::kNullableText:
      return g_strcmp0(a.text, b.text) == 0;
    case FieldKind::kBytes:
      if (a.bytes.data == nullptr || b.bytes.data == nullptr) {
        return a.bytes.data == b.bytes.data;
      }
      return a.bytes.length == b.bytes.length &&
             memcmp(a.bytes.data, b.bytes.data, a.bytes.length) == 0;
  }
  return false;
}

guint DoubleHash(double value) {
  if (isnan(value)) {
    return 0x7FF80000u;
  }
  if (value == 0.0) {
    return 0;  // -0.0 equals 0.0, so it must hash alike
  }
  uint64_t bits = 0;
  memcpy(&bits, &value, sizeof(bits));
  return static_cast<guint>(bits >> 32) ^ static_cast<guint>(bits);
}

// Folds one field into the accumulator. Unsigned arithmetic wraps, as the
// hash intends.
guint FoldField(guint hash, const FieldDescription& description, const FieldValue& value) {
  switch (description.kind) {
    case FieldKind::kInt:
      return hash * 31 + static_cast<guint>(value.int_value);
    case FieldKind::kDouble:
      return hash * 31 + DoubleHash(value.double_value);
    case FieldKind::kBool:
      return hash * 31 + static_cast<guint>(value.bool_value);
    case FieldKind::kEnum:
      return hash * 31 + static_cast<guint>(value.enum_value);
    case FieldKind::kText:
    case FieldKind::kNullableText:
      return hash * 31 + (value.text != nullptr ? g_str_hash(value.text) : 0);
    case FieldKind::kBytes:
      for (size_t i = 0; value.bytes.data != nullptr && i < value.bytes.length;
           i++) {
        hash = hash * 31 + value.bytes.data[i];
      }
      return hash;
  }
  return hash;
}

void AppendField(GString* text, const FieldDescription& description, const FieldValue& value) {
  switch (description.kind) {
    case FieldKind::kInt:
      g_string_append_printf(text, "%" PRId64, value.int_value);
      return;
    case FieldKind::kDouble:
      g_string_append_printf(text, "%g", value.double_value);
      return;
    case FieldKind::kBool:
      g_string_append(text, value.bool_value ? "true" : "false");
      return;
    case FieldKind::kEnum:
      g_string_append_printf(text, "%d", value.enum_value);
      return;
    case FieldKind::kText:
    case FieldKind::kNullableText:
      if (value.text == nullptr) {
        g_string_append(text, "null");
      } else {
        g_string_append_printf(text, "\"%s\"", value.text);
      }
      return;
    case FieldKind::kBytes:
      if (value.bytes.data == nullptr) {
        g_string_append(text, "null");
        return;
      }
      g_string_append_c(text, '[');
      for (size_t i = 0; i < value.bytes.length; i++) {
        g_string_append_printf(text, i == 0 ? "%d" : ", %d",
                               value.bytes.data[i]);
      }
      g_string_append_c(text, ']');
      return;
  }
}

void ReleaseFields(const RecordSchema& schema, FieldValue* fields) {
  for (size_t i = 0; i < schema.field_count; i++) {
    switch (schema.fields[i].kind) {
      case FieldKind::kText:
      case FieldKind::kNullableText:
        g_clear_pointer(&fields[i].text, g_free);
        break;
      case FieldKind::kBytes:
        g_clear_pointer(&fields[i].bytes.data, g_free);
        fields[i].bytes.length = 0;
        break;
      default:
        break;
    }
  }
}

gboolean RecordsEqual(const RecordSchema& schema, GObject* a, GObject* b) {
  if (a == b) {
    return TRUE;
  }
  if (a == nullptr || b == nullptr) {
    return FALSE;
  }
  const FieldValue* fields_a = FieldsOf(schema, a);
  const FieldValue* fields_b = FieldsOf(schema, b);
  for (size_t i = 0; i < schema.field_count; i++) {
    if (!FieldEquals(schema.fields[i], fields_a[i], fields_b[i])) {
      return FALSE;
    }
  }
  return TRUE;
}

guint HashRecord(const RecordSchema& schema, GObject* record) {
  const FieldValue* fields = FieldsOf(schema, record);
  guint hash = 0;
  for (size_t i = 0; i < schema.field_count; i++) {
    hash = FoldField(hash, schema.fields[i], fields[i]);
  }
  return hash;
}

gchar* RecordToString(const RecordSchema& schema, GObject* record) {
  const FieldValue* fields = FieldsOf(schema, record);
  GString* text = g_string_new(schema.short_name);
  g_string_append_c(text, '(');
  for (size_t i = 0; i < schema.field_count; i++) {
    g_string_append_printf(text, i == 0 ? "%s: " : ", %s: ",
                           schema.fields[i].name);
    AppendField(text, schema.fields[i], fields[i]);
  }
  g_string_append_c(text, ')');
  return g_string_free(text, FALSE);
}

// Constructor arguments, one per field.
FieldValue Int(int64_t value) {
  FieldValue field;
  field.int_value = value;
  return field;
}

FieldValue Double(double value) {
  FieldValue field;
  field.double_value = value;
  return field;
}

FieldValue Bool(gboolean value) {
  FieldValue field;
  field.bool_value = value;
  return field;
}

FieldValue Enum(gint value) {
  FieldValue field;
  field.enum_value = value;
  return field;
}

// Borrowed until NewRecord copies it.
FieldValue Text(const gchar* value) {
  FieldValue field;
  field.text = const_cast<gchar*>(value);
  return field;
}

FieldValue Bytes(const uint8_t* data, size_t length) {
  FieldValue field;
  field.bytes.data = const_cast<uint8_t*>(data);
  field.bytes.length = length;
  return field;
}

}  // namespace

FieldValue* FieldsOf(const RecordSchema& schema, GObject* record) {
  return reinterpret_cast<FieldValue*>(reinterpret_cast<char*>(record) +
                                       schema.fields_offset);
}

GObject* NewRecord(const RecordSchema& schema, const FieldValue* values) {
  GObject* record = G_OBJECT(g_object_new(schema.get_type(), nullptr));
  FieldValue* fields = FieldsOf(schema, record);
  for (size_t i = 0; i < schema.field_count; i++) {
    fields[i] = values[i];
    switch (schema.fields[i].kind) {
      case FieldKind::kText:
      case FieldKind::kNullableText:
        fields[i].text = g_strdup(values[i].text);
        break;
      case FieldKind::kBytes:
        // An empty array is still present (it differs from an absent one),
        // so it gets an allocation of its own.
        if (values[i].bytes.data == nullptr) {
          fields[i].bytes.length = 0;
        } else {
          fields[i].bytes.data =
              static_cast<uint8_t*>(g_malloc(MAX(values[i].bytes.length, 1)));
          memcpy(fields[i].bytes.data, values[i].bytes.data,
                 values[i].bytes.length);
        }
        break;
      default:
        break;
    }
  }
  return record;
}

}  // namespace korvane_bridge_records

using namespace korvane_bridge_records;

// Field lists, in wire order: FIELD(record..., name, KIND). KIND is INT,
// DOUBLE, BOOL, TEXT, NULLABLE_TEXT, BYTES or the enumeration's kind.
#define NATIVE_DRIVER_HEALTH_FIELDS(FIELD, ...)              \
  FIELD(__VA_ARGS__, readiness, READINESS)                   \
  FIELD(__VA_ARGS__, backend_name, TEXT)                     \
  FIELD(__VA_ARGS__, mounted_controller_count, INT)          \
  FIELD(__VA_ARGS__, can_inject_mouse_and_keyboard, BOOL)    \
  FIELD(__VA_ARGS__, status_message, NULLABLE_TEXT)

#define VIRTUAL_CONTROLLER_MOUNT_REQUEST_FIELDS(FIELD, ...) \
  FIELD(__VA_ARGS__, player_number, INT)                   \
  FIELD(__VA_ARGS__, persona, PERSONA)                     \
  FIELD(__VA_ARGS__, device_id, TEXT)                      \
  FIELD(__VA_ARGS__, display_name, TEXT)                   \
  FIELD(__VA_ARGS__, enable_gyroscope, BOOL)               \
  FIELD(__VA_ARGS__, enable_rumble, BOOL)

#define VIRTUAL_CONTROLLER_FRAME_FIELDS(FIELD, ...) \
  FIELD(__VA_ARGS__, player_number, INT)           \
  FIELD(__VA_ARGS__, button_mask1, INT)            \
  FIELD(__VA_ARGS__, button_mask2, INT)            \
  FIELD(__VA_ARGS__, home_button, BOOL)            \
  FIELD(__VA_ARGS__, touch_click_button, BOOL)     \
  FIELD(__VA_ARGS__, left_stick_x, INT)            \
  FIELD(__VA_ARGS__, left_stick_y, INT)            \
  FIELD(__VA_ARGS__, right_stick_x, INT)           \
  FIELD(__VA_ARGS__, right_stick_y, INT)           \
  FIELD(__VA_ARGS__, l2_analog, INT)               \
  FIELD(__VA_ARGS__, r2_analog, INT)               \
  FIELD(__VA_ARGS__, gyro_pitch, DOUBLE)           \
  FIELD(__VA_ARGS__, gyro_yaw, DOUBLE)             \
  FIELD(__VA_ARGS__, gyro_roll, DOUBLE)            \
  FIELD(__VA_ARGS__, accel_x, DOUBLE)              \
  FIELD(__VA_ARGS__, accel_y, DOUBLE)              \
  FIELD(__VA_ARGS__, accel_z, DOUBLE)              \
  FIELD(__VA_ARGS__, timestamp_us, INT)            \
  FIELD(__VA_ARGS__, touch1_active, BOOL)          \
  FIELD(__VA_ARGS__, touch1_id, INT)               \
  FIELD(__VA_ARGS__, touch1_x, INT)                \
  FIELD(__VA_ARGS__, touch1_y, INT)                \
  FIELD(__VA_ARGS__, touch2_active, BOOL)          \
  FIELD(__VA_ARGS__, touch2_id, INT)               \
  FIELD(__VA_ARGS__, touch2_x, INT)                \
  FIELD(__VA_ARGS__, touch2_y, INT)

#define NATIVE_RUMBLE_EVENT_FIELDS(FIELD, ...)   \
  FIELD(__VA_ARGS__, player_number, INT)         \
  FIELD(__VA_ARGS__, left_motor_intensity, INT)  \
  FIELD(__VA_ARGS__, right_motor_intensity, INT)

#define NATIVE_PLAYER_LED_EVENT_FIELDS(FIELD, ...) \
  FIELD(__VA_ARGS__, player_number, INT)           \
  FIELD(__VA_ARGS__, red, INT)                     \
  FIELD(__VA_ARGS__, green, INT)                   \
  FIELD(__VA_ARGS__, blue, INT)

#define NATIVE_DECK_ACTION_REQUEST_FIELDS(FIELD, ...)   \
  FIELD(__VA_ARGS__, action_id, TEXT)                   \
  FIELD(__VA_ARGS__, action_type, DECK_ACTION_TYPE)     \
  FIELD(__VA_ARGS__, custom_key_code, NULLABLE_TEXT)    \
  FIELD(__VA_ARGS__, ctrl_modifier, BOOL)               \
  FIELD(__VA_ARGS__, alt_modifier, BOOL)                \
  FIELD(__VA_ARGS__, shift_modifier, BOOL)              \
  FIELD(__VA_ARGS__, meta_modifier, BOOL)

#define NATIVE_SYSTEM_TELEMETRY_SNAPSHOT_FIELDS(FIELD, ...) \
  FIELD(__VA_ARGS__, has_active_media, BOOL)               \
  FIELD(__VA_ARGS__, is_playing, BOOL)                     \
  FIELD(__VA_ARGS__, track_title, TEXT)                    \
  FIELD(__VA_ARGS__, artist_name, TEXT)                    \
  FIELD(__VA_ARGS__, album_name, TEXT)                     \
  FIELD(__VA_ARGS__, source_app_name, TEXT)                \
  FIELD(__VA_ARGS__, volume_percent, INT)                  \
  FIELD(__VA_ARGS__, is_muted, BOOL)                       \
  FIELD(__VA_ARGS__, cpu_usage_percent, INT)

#define CAPTURABLE_WINDOW_INFO_FIELDS(FIELD, ...)  \
  FIELD(__VA_ARGS__, window_id, INT)               \
  FIELD(__VA_ARGS__, window_title, TEXT)           \
  FIELD(__VA_ARGS__, owner_app_name, TEXT)         \
  FIELD(__VA_ARGS__, bundle_or_exe_id, TEXT)       \
  FIELD(__VA_ARGS__, width, INT)                   \
  FIELD(__VA_ARGS__, height, INT)                  \
  FIELD(__VA_ARGS__, is_on_screen, BOOL)           \
  FIELD(__VA_ARGS__, is_emulator_candidate, BOOL)

#define SECOND_SCREEN_CAPTURE_CONFIG_FIELDS(FIELD, ...) \
  FIELD(__VA_ARGS__, window_id, INT)                    \
  FIELD(__VA_ARGS__, target_width, INT)                 \
  FIELD(__VA_ARGS__, target_height, INT)                \
  FIELD(__VA_ARGS__, jpeg_quality, INT)                 \
  FIELD(__VA_ARGS__, previous_frame_hash, INT)

#define CAPTURED_WINDOW_FRAME_FIELDS(FIELD, ...)  \
  FIELD(__VA_ARGS__, window_id, INT)              \
  FIELD(__VA_ARGS__, jpeg_bytes, BYTES)           \
  FIELD(__VA_ARGS__, source_width, INT)           \
  FIELD(__VA_ARGS__, source_height, INT)          \
  FIELD(__VA_ARGS__, encoded_width, INT)          \
  FIELD(__VA_ARGS__, encoded_height, INT)         \
  FIELD(__VA_ARGS__, frame_hash, INT)             \
  FIELD(__VA_ARGS__, is_unchanged, BOOL)          \
  FIELD(__VA_ARGS__, is_window_closed, BOOL)

#define NATIVE_STYLUS_INJECTION_REQUEST_FIELDS(FIELD, ...) \
  FIELD(__VA_ARGS__, window_id, INT)                       \
  FIELD(__VA_ARGS__, normalized_u, DOUBLE)                 \
  FIELD(__VA_ARGS__, normalized_v, DOUBLE)                 \
  FIELD(__VA_ARGS__, phase, STYLUS_PHASE)                  \
  FIELD(__VA_ARGS__, restore_cursor_on_release, BOOL)

// What each KIND means: its kind and enumeration code, its getter's type,
// and the union member that stores it.
#define KIND_LAYOUT_INT FieldKind::kInt, 0
#define KIND_LAYOUT_DOUBLE FieldKind::kDouble, 0
#define KIND_LAYOUT_BOOL FieldKind::kBool, 0
#define KIND_LAYOUT_TEXT FieldKind::kText, 0
#define KIND_LAYOUT_NULLABLE_TEXT FieldKind::kNullableText, 0
#define KIND_LAYOUT_BYTES FieldKind::kBytes, 0
#define KIND_LAYOUT_READINESS FieldKind::kEnum, kDriverReadinessCode
#define KIND_LAYOUT_PERSONA FieldKind::kEnum, kGamepadPersonaCode
#define KIND_LAYOUT_DECK_ACTION_TYPE FieldKind::kEnum, kDeckActionTypeCode
#define KIND_LAYOUT_STYLUS_PHASE FieldKind::kEnum, kStylusPhaseCode

#define KIND_TYPE_INT int64_t
#define KIND_TYPE_DOUBLE double
#define KIND_TYPE_BOOL gboolean
#define KIND_TYPE_TEXT const gchar*
#define KIND_TYPE_NULLABLE_TEXT const gchar*
#define KIND_TYPE_READINESS KorvaneBridgeNativeDriverReadiness
#define KIND_TYPE_PERSONA KorvaneBridgeNativeGamepadPersona
#define KIND_TYPE_DECK_ACTION_TYPE KorvaneBridgeNativeDeckActionType
#define KIND_TYPE_STYLUS_PHASE KorvaneBridgeStylusPhase

#define KIND_MEMBER_INT int_value
#define KIND_MEMBER_DOUBLE double_value
#define KIND_MEMBER_BOOL bool_value
#define KIND_MEMBER_TEXT text
#define KIND_MEMBER_NULLABLE_TEXT text
#define KIND_MEMBER_READINESS enum_value
#define KIND_MEMBER_PERSONA enum_value
#define KIND_MEMBER_DECK_ACTION_TYPE enum_value
#define KIND_MEMBER_STYLUS_PHASE enum_value

#define FIELD_INDEX(UPPER, name, KIND) UPPER##_##name,
#define FIELD_DESCRIPTION(unused, name, KIND) {#name, KIND_LAYOUT_##KIND},

#define FIELD_GETTER(Type, lower, UPPER, name, KIND) \
  FIELD_GETTER_##KIND(Type, lower, UPPER, name, KIND)

#define FIELD_GETTER_SCALAR(Type, lower, UPPER, name, KIND)           \
  KIND_TYPE_##KIND korvane_bridge_##lower##_get_##name(Type* self) {  \
    g_return_val_if_fail(KORVANE_BRIDGE_IS_##UPPER(self),             \
                         static_cast<KIND_TYPE_##KIND>(0));           \
    return static_cast<KIND_TYPE_##KIND>(                             \
        self->fields[UPPER##_##name].KIND_MEMBER_##KIND);             \
  }
#define FIELD_GETTER_INT FIELD_GETTER_SCALAR
#define FIELD_GETTER_DOUBLE FIELD_GETTER_SCALAR
#define FIELD_GETTER_BOOL FIELD_GETTER_SCALAR
#define FIELD_GETTER_TEXT FIELD_GETTER_SCALAR
#define FIELD_GETTER_NULLABLE_TEXT FIELD_GETTER_SCALAR
#define FIELD_GETTER_READINESS FIELD_GETTER_SCALAR
#define FIELD_GETTER_PERSONA FIELD_GETTER_SCALAR
#define FIELD_GETTER_DECK_ACTION_TYPE FIELD_GETTER_SCALAR
#define FIELD_GETTER_STYLUS_PHASE FIELD_GETTER_SCALAR
#define FIELD_GETTER_BYTES(Type, lower, UPPER, name, KIND)                  \
  const uint8_t* korvane_bridge_##lower##_get_##name(Type* self,            \
                                                     size_t* length) {      \
    g_return_val_if_fail(KORVANE_BRIDGE_IS_##UPPER(self), nullptr);         \
    if (length != nullptr) {                                                \
      *length = self->fields[UPPER##_##name].bytes.length;                  \
    }                                                                       \
    return self->fields[UPPER##_##name].bytes.data;                         \
  }

// Everything of a record but its constructor: the type, its schema, dispose,
// equals, hash, to_string and the getters.
#define DEFINE_RECORD(Camel, lower, UPPER)                                   \
  enum { UPPER##_FIELDS(FIELD_INDEX, UPPER) UPPER##_FIELD_COUNT };          \
  struct _KorvaneBridge##Camel {                                             \
    GObject parent_instance;                                                 \
    FieldValue fields[UPPER##_FIELD_COUNT];                                  \
  };                                                                         \
  G_DEFINE_TYPE(KorvaneBridge##Camel, korvane_bridge_##lower, G_TYPE_OBJECT) \
  static const FieldDescription lower##_fields[] = {UPPER##_FIELDS(FIELD_DESCRIPTION, )};  \
  static const RecordSchema lower##_schema = {                               \
      #Camel,                                                                \
      k##Camel##Code,                                                        \
      korvane_bridge_##lower##_get_type,                                     \
      lower##_fields,                                                        \
      G_N_ELEMENTS(lower##_fields),                                          \
      offsetof(KorvaneBridge##Camel, fields)};                               \
  static void korvane_bridge_##lower##_dispose(GObject* object) {            \
    ReleaseFields(lower##_schema, FieldsOf(lower##_schema, object));         \
    G_OBJECT_CLASS(korvane_bridge_##lower##_parent_class)->dispose(object);  \
  }                                                                          \
  static void korvane_bridge_##lower##_class_init(                           \
      KorvaneBridge##Camel##Class* klass) {                                  \
    G_OBJECT_CLASS(klass)->dispose = korvane_bridge_##lower##_dispose;       \
  }                                                                          \
  static void korvane_bridge_##lower##_init(KorvaneBridge##Camel*) {}        \
  gboolean korvane_bridge_##lower##_equals(KorvaneBridge##Camel* a,          \
                                           KorvaneBridge##Camel* b) {        \
    if (a == b) {                                                            \
      return TRUE;                                                           \
    }                                                                        \
    /* Comparing fields of two different types would read garbage. */        \
    g_return_val_if_fail(a == nullptr || KORVANE_BRIDGE_IS_##UPPER(a),       \
                         FALSE);                                             \
    g_return_val_if_fail(b == nullptr || KORVANE_BRIDGE_IS_##UPPER(b),       \
                         FALSE);                                             \
    return RecordsEqual(lower##_schema, G_OBJECT(a), G_OBJECT(b));           \
  }                                                                          \
  guint korvane_bridge_##lower##_hash(KorvaneBridge##Camel* self) {          \
    g_return_val_if_fail(KORVANE_BRIDGE_IS_##UPPER(self), 0);                \
    return HashRecord(lower##_schema, G_OBJECT(self));                       \
  }                                                                          \
  gchar* korvane_bridge_##lower##_to_string(KorvaneBridge##Camel* self) {    \
    g_return_val_if_fail(KORVANE_BRIDGE_IS_##UPPER(self), nullptr);          \
    return RecordToString(lower##_schema, G_OBJECT(self));                   \
  }                                                                          \
  UPPER##_FIELDS(FIELD_GETTER, KorvaneBridge##Camel, lower, UPPER)

DEFINE_RECORD(NativeDriverHealth, native_driver_health, NATIVE_DRIVER_HEALTH)
DEFINE_RECORD(VirtualControllerMountRequest,
              virtual_controller_mount_request,
              VIRTUAL_CONTROLLER_MOUNT_REQUEST)
DEFINE_RECORD(VirtualControllerFrame,
              virtual_controller_frame,
              VIRTUAL_CONTROLLER_FRAME)
DEFINE_RECORD(NativeRumbleEvent, native_rumble_event, NATIVE_RUMBLE_EVENT)
DEFINE_RECORD(NativePlayerLedEvent,
              native_player_led_event,
              NATIVE_PLAYER_LED_EVENT)
DEFINE_RECORD(NativeDeckActionRequest,
              native_deck_action_request,
              NATIVE_DECK_ACTION_REQUEST)
DEFINE_RECORD(NativeSystemTelemetrySnapshot,
              native_system_telemetry_snapshot,
              NATIVE_SYSTEM_TELEMETRY_SNAPSHOT)
DEFINE_RECORD(CapturableWindowInfo,
              capturable_window_info,
              CAPTURABLE_WINDOW_INFO)
DEFINE_RECORD(SecondScreenCaptureConfig,
              second_screen_capture_config,
              SECOND_SCREEN_CAPTURE_CONFIG)
DEFINE_RECORD(CapturedWindowFrame,
              captured_window_frame,
              CAPTURED_WINDOW_FRAME)
DEFINE_RECORD(NativeStylusInjectionRequest,
              native_stylus_injection_request,
              NATIVE_STYLUS_INJECTION_REQUEST)

const RecordSchema* korvane_bridge_records::SchemaForCode(int code) {
  static const RecordSchema* const kSchemas[] = {
      &native_driver_health_schema,
      &virtual_controller_mount_request_schema,
      &virtual_controller_frame_schema,
      &native_rumble_event_schema,
      &native_player_led_event_schema,
      &native_deck_action_request_schema,
      &native_system_telemetry_snapshot_schema,
      &capturable_window_info_schema,
      &second_screen_capture_config_schema,
      &captured_window_frame_schema,
      &native_stylus_injection_request_schema,
  };
  if (!IsRecordCode(code)) {
    return nullptr;
  }
  return kSchemas[code - kNativeDriverHealthCode];
}

// Typed constructors: each takes its fields in wire order and hands them to
// the generic record builder, which copies texts and bytes.
template <typename Type>
static Type* Build(const RecordSchema& schema,
                   std::initializer_list<FieldValue> values) {
  g_assert(values.size() == schema.field_count);
  return reinterpret_cast<Type*>(NewRecord(schema, values.begin()));
}

KorvaneBridgeNativeDriverHealth* korvane_bridge_native_driver_health_new(
    KorvaneBridgeNativeDriverReadiness readiness,
    const gchar* backend_name,
    int64_t mounted_controller_count,
    gboolean can_inject_mouse_and_keyboard,
    const gchar* status_message) {
  return Build<KorvaneBridgeNativeDriverHealth>(
      native_driver_health_schema,
      {Enum(readiness), Text(backend_name), Int(mounted_controller_count),
       Bool(can_inject_mouse_and_keyboard), Text(status_message)});
}

KorvaneBridgeVirtualControllerMountRequest*
korvane_bridge_virtual_controller_mount_request_new(
    int64_t player_number,
    KorvaneBridgeNativeGamepadPersona persona,
    const gchar* device_id,
    const gchar* display_name,
    gboolean enable_gyroscope,
    gboolean enable_rumble) {
  return Build<KorvaneBridgeVirtualControllerMountRequest>(
      virtual_controller_mount_request_schema,
      {Int(player_number), Enum(persona), Text(device_id), Text(display_name),
       Bool(enable_gyroscope), Bool(enable_rumble)});
}

KorvaneBridgeVirtualControllerFrame* korvane_bridge_virtual_controller_frame_new(
    int64_t player_number,
    int64_t button_mask1,
    int64_t button_mask2,
    gboolean home_button,
    gboolean touch_click_button,
    int64_t left_stick_x,
    int64_t left_stick_y,
    int64_t right_stick_x,
    int64_t right_stick_y,
    int64_t l2_analog,
    int64_t r2_analog,
    double gyro_pitch,
    double gyro_yaw,
    double gyro_roll,
    double accel_x,
    double accel_y,
    double accel_z,
    int64_t timestamp_us,
    gboolean touch1_active,
    int64_t touch1_id,
    int64_t touch1_x,
    int64_t touch1_y,
    gboolean touch2_active,
    int64_t touch2_id,
    int64_t touch2_x,
    int64_t touch2_y) {
  return Build<KorvaneBridgeVirtualControllerFrame>(
      virtual_controller_frame_schema,
      {Int(player_number),  Int(button_mask1),  Int(button_mask2),
       Bool(home_button),   Bool(touch_click_button),
       Int(left_stick_x),   Int(left_stick_y),  Int(right_stick_x),
       Int(right_stick_y),  Int(l2_analog),     Int(r2_analog),
       Double(gyro_pitch),  Double(gyro_yaw),   Double(gyro_roll),
       Double(accel_x),     Double(accel_y),    Double(accel_z),
       Int(timestamp_us),   Bool(touch1_active), Int(touch1_id),
       Int(touch1_x),       Int(touch1_y),      Bool(touch2_active),
       Int(touch2_id),      Int(touch2_x),      Int(touch2_y)});
}

KorvaneBridgeNativeRumbleEvent* korvane_bridge_native_rumble_event_new(
    int64_t player_number,
    int64_t left_motor_intensity,
    int64_t right_motor_intensity) {
  return Build<KorvaneBridgeNativeRumbleEvent>(
      native_rumble_event_schema,
      {Int(player_number), Int(left_motor_intensity),
       Int(right_motor_intensity)});
}

KorvaneBridgeNativePlayerLedEvent* korvane_bridge_native_player_led_event_new(
    int64_t player_number,
    int64_t red,
    int64_t green,
    int64_t blue) {
  return Build<KorvaneBridgeNativePlayerLedEvent>(
      native_player_led_event_schema,
      {Int(player_number), Int(red), Int(green), Int(blue)});
}

KorvaneBridgeNativeDeckActionRequest*
korvane_bridge_native_deck_action_request_new(
    const gchar* action_id,
    KorvaneBridgeNativeDeckActionType action_type,
    const gchar* custom_key_code,
    gboolean ctrl_modifier,
    gboolean alt_modifier,
    gboolean shift_modifier,
    gboolean meta_modifier) {
  return Build<KorvaneBridgeNativeDeckActionRequest>(
      native_deck_action_request_schema,
      {Text(action_id), Enum(action_type), Text(custom_key_code),
       Bool(ctrl_modifier), Bool(alt_modifier), Bool(shift_modifier),
       Bool(meta_modifier)});
}

KorvaneBridgeNativeSystemTelemetrySnapshot*
korvane_bridge_native_system_telemetry_snapshot_new(
    gboolean has_active_media,
    gboolean is_playing,
    const gchar* track_title,
    const gchar* artist_name,
    const gchar* album_name,
    const gchar* source_app_name,
    int64_t volume_percent,
    gboolean is_muted,
    int64_t cpu_usage_percent) {
  return Build<KorvaneBridgeNativeSystemTelemetrySnapshot>(
      native_system_telemetry_snapshot_schema,
      {Bool(has_active_media), Bool(is_playing), Text(track_title),
       Text(artist_name), Text(album_name), Text(source_app_name),
       Int(volume_percent), Bool(is_muted), Int(cpu_usage_percent)});
}

KorvaneBridgeCapturableWindowInfo* korvane_bridge_capturable_window_info_new(
    int64_t window_id,
    const gchar* window_title,
    const gchar* owner_app_name,
    const gchar* bundle_or_exe_id,
    int64_t width,
    int64_t height,
    gboolean is_on_screen,
    gboolean is_emulator_candidate) {
  return Build<KorvaneBridgeCapturableWindowInfo>(
      capturable_window_info_schema,
      {Int(window_id), Text(window_title), Text(owner_app_name),
       Text(bundle_or_exe_id), Int(width), Int(height), Bool(is_on_screen),
       Bool(is_emulator_candidate)});
}

KorvaneBridgeSecondScreenCaptureConfig*
korvane_bridge_second_screen_capture_config_new(int64_t window_id,
                                                int64_t target_width,
                                                int64_t target_height,
                                                int64_t jpeg_quality,
                                                int64_t previous_frame_hash) {
  return Build<KorvaneBridgeSecondScreenCaptureConfig>(
      second_screen_capture_config_schema,
      {Int(window_id), Int(target_width), Int(target_height),
       Int(jpeg_quality), Int(previous_frame_hash)});
}

KorvaneBridgeCapturedWindowFrame* korvane_bridge_captured_window_frame_new(
    int64_t window_id,
    const uint8_t* jpeg_bytes,
    size_t jpeg_bytes_length,
    int64_t source_width,
    int64_t source_height,
    int64_t encoded_width,
    int64_t encoded_height,
    int64_t frame_hash,
    gboolean is_unchanged,
    gboolean is_window_closed) {
  return Build<KorvaneBridgeCapturedWindowFrame>(
      captured_window_frame_schema,
      {Int(window_id), Bytes(jpeg_bytes, jpeg_bytes_length),
       Int(source_width), Int(source_height), Int(encoded_width),
       Int(encoded_height), Int(frame_hash), Bool(is_unchanged),
       Bool(is_window_closed)});
}

KorvaneBridgeNativeStylusInjectionRequest*
korvane_bridge_native_stylus_injection_request_new(
    int64_t window_id,
    double normalized_u,
    double normalized_v,
    KorvaneBridgeStylusPhase phase,
    gboolean restore_cursor_on_release) {
  return Build<KorvaneBridgeNativeStylusInjectionRequest>(
      native_stylus_injection_request_schema,
      {Int(window_id), Double(normalized_u), Double(normalized_v), Enum(phase),
       Bool(restore_cursor_on_release)});
}
