#ifndef LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_RECORD_SCHEMA_H_
#define LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_RECORD_SCHEMA_H_

// How each record's fields are laid out, so that comparing, hashing,
// printing, encoding and decoding are written once for all records.
// Internal to the message bridge.

#include <glib-object.h>
#include <stddef.h>
#include <stdint.h>

namespace korvane_bridge_records {

// Wire type codes of the bridge's custom values: enumerations first, then
// records, contiguous.
enum TypeCode : int {
  kGamepadPersonaCode = 129,
  kDriverReadinessCode = 130,
  kDeckActionTypeCode = 131,
  kSecondScreenTouchModeCode = 132,
  kStylusPhaseCode = 133,
  kNativeDriverHealthCode = 134,
  kVirtualControllerMountRequestCode = 135,
  kVirtualControllerFrameCode = 136,
  kNativeRumbleEventCode = 137,
  kNativePlayerLedEventCode = 138,
  kNativeDeckActionRequestCode = 139,
  kNativeSystemTelemetrySnapshotCode = 140,
  kCapturableWindowInfoCode = 141,
  kSecondScreenCaptureConfigCode = 142,
  kCapturedWindowFrameCode = 143,
  kNativeStylusInjectionRequestCode = 144,
};

constexpr bool IsEnumCode(int code) {
  return code >= kGamepadPersonaCode && code <= kStylusPhaseCode;
}

constexpr bool IsRecordCode(int code) {
  return code >= kNativeDriverHealthCode &&
         code <= kNativeStylusInjectionRequestCode;
}

enum class FieldKind {
  kInt,
  kDouble,
  kBool,
  kEnum,
  kText,
  kNullableText,
  kBytes,
};

struct FieldDescription {
  const char* name;
  FieldKind kind;
  // The wire type code of an enumeration field, 0 for other kinds.
  int enum_code;
};

// One stored field. Texts and bytes are owned by the record.
union FieldValue {
  int64_t int_value;
  double double_value;
  gboolean bool_value;
  gint enum_value;
  gchar* text;
  struct {
    uint8_t* data;
    size_t length;
  } bytes;
};

struct RecordSchema {
  // The type name without its "KorvaneBridge" prefix.
  const char* short_name;
  int type_code;
  GType (*get_type)();
  const FieldDescription* fields;
  size_t field_count;
  // Where the FieldValue array sits inside the instance struct.
  size_t fields_offset;
};

// The schema of the record with wire type `code`, or nullptr.
const RecordSchema* SchemaForCode(int code);

// The fields of `record`, which must be an instance of `schema`'s type.
FieldValue* FieldsOf(const RecordSchema& schema, GObject* record);

// A new record of `schema`'s type holding copies of `values` (one per
// field, in order; texts and bytes are copied).
GObject* NewRecord(const RecordSchema& schema, const FieldValue* values);

}  // namespace korvane_bridge_records

#endif  // LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_RECORD_SCHEMA_H_
