#include "bridge_methods.h"

#include <cerrno>
#include <map>

#include "pigeon/korvane_bridge_codec.h"

namespace korvane_peer_tool {

namespace {

const char* KindName(KorvaneBridgeFieldKind kind) {
  switch (kind) {
    case KORVANE_BRIDGE_FIELD_KIND_INT:
      return "INT";
    case KORVANE_BRIDGE_FIELD_KIND_DOUBLE:
      return "NUMBER";
    case KORVANE_BRIDGE_FIELD_KIND_BOOL:
      return "BOOL";
    case KORVANE_BRIDGE_FIELD_KIND_ENUM:
      return "ENUM";
    case KORVANE_BRIDGE_FIELD_KIND_TEXT:
      return "TEXT";
    case KORVANE_BRIDGE_FIELD_KIND_NULLABLE_TEXT:
      return "TEXT|null";
    case KORVANE_BRIDGE_FIELD_KIND_BYTES:
      return "BYTES";
    case KORVANE_BRIDGE_FIELD_KIND_RECORD:
      return "RECORD";
  }
  return "?";
}

bool ParseInt(const std::string& text, int64_t* value) {
  // Base 0, so that window ids can be written in hexadecimal as X11 tools
  // print them.
  char* end = nullptr;
  errno = 0;
  long long parsed = g_ascii_strtoll(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || errno != 0) {
    return false;
  }
  *value = parsed;
  return true;
}

bool ParseDouble(const std::string& text, double* value) {
  char* end = nullptr;
  errno = 0;
  *value = g_ascii_strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && errno == 0;
}

bool ParseBool(const std::string& text, gboolean* value) {
  if (text == "true" || text == "1") {
    *value = TRUE;
  } else if (text == "false" || text == "0") {
    *value = FALSE;
  } else {
    return false;
  }
  return true;
}

// Splits "name=value" words; false with `error` for a word without '='.
bool SplitArguments(const std::vector<std::string>& arguments,
                    std::map<std::string, std::string>* named,
                    std::string* error) {
  for (const std::string& argument : arguments) {
    size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0) {
      *error = "\"" + argument + "\" is not name=value";
      return false;
    }
    (*named)[argument.substr(0, equals)] = argument.substr(equals + 1);
  }
  return true;
}

// Takes the value of `name` out of `named`.
bool TakeValue(std::map<std::string, std::string>* named,
               const std::string& name,
               std::string* value) {
  auto it = named->find(name);
  if (it == named->end()) {
    return false;
  }
  *value = it->second;
  named->erase(it);
  return true;
}

void UnrefValue(gpointer value) {
  fl_value_unref(static_cast<FlValue*>(value));
}

// The value of `field` as the bridge codec carries it, or nullptr when
// `text` is not of the field's kind. A field left out (`text` null) is 0,
// false, empty or, where the field may be null, null.
FlValue* FieldValue(const KorvaneBridgeFieldDescription& field,
                    const std::string* text) {
  int64_t integer = 0;
  double number = 0;
  gboolean boolean = FALSE;
  switch (field.kind) {
    case KORVANE_BRIDGE_FIELD_KIND_INT:
      return text == nullptr || ParseInt(*text, &integer)
                 ? fl_value_new_int(integer)
                 : nullptr;
    case KORVANE_BRIDGE_FIELD_KIND_DOUBLE:
      return text == nullptr || ParseDouble(*text, &number)
                 ? fl_value_new_float(number)
                 : nullptr;
    case KORVANE_BRIDGE_FIELD_KIND_BOOL:
      return text == nullptr || ParseBool(*text, &boolean)
                 ? fl_value_new_bool(boolean)
                 : nullptr;
    case KORVANE_BRIDGE_FIELD_KIND_ENUM:
      if (text != nullptr && (!ParseInt(*text, &integer) ||
                              integer < G_MININT || integer > G_MAXINT)) {
        return nullptr;
      }
      return fl_value_new_custom(field.type_code, fl_value_new_int(integer),
                                 UnrefValue);
    case KORVANE_BRIDGE_FIELD_KIND_TEXT:
      return fl_value_new_string(text != nullptr ? text->c_str() : "");
    case KORVANE_BRIDGE_FIELD_KIND_NULLABLE_TEXT:
      return text != nullptr ? fl_value_new_string(text->c_str())
                             : fl_value_new_null();
    case KORVANE_BRIDGE_FIELD_KIND_BYTES:
      // No request record carries bytes.
      return text == nullptr ? fl_value_new_uint8_list(nullptr, 0) : nullptr;
    case KORVANE_BRIDGE_FIELD_KIND_RECORD:
      return nullptr;
  }
  return nullptr;
}

const KorvaneBridgeRecordDescription* RecordDescription(int type_code) {
  for (size_t i = 0; i < korvane_bridge_record_description_count; i++) {
    if (korvane_bridge_record_descriptions[i].type_code == type_code) {
      return &korvane_bridge_record_descriptions[i];
    }
  }
  return nullptr;
}

// The record of `type_code` built from the named fields it takes out of
// `named`, as a custom value; nullptr with `error` set when one does not
// parse or names no field.
FlValue* BuildRecord(int type_code,
                     std::map<std::string, std::string>* named,
                     std::string* error) {
  const KorvaneBridgeRecordDescription* record = RecordDescription(type_code);
  g_autoptr(FlValue) fields = fl_value_new_list();
  for (size_t i = 0; i < record->field_count; i++) {
    const KorvaneBridgeFieldDescription& field = record->fields[i];
    std::string text;
    bool given = TakeValue(named, field.name, &text);
    FlValue* value = FieldValue(field, given ? &text : nullptr);
    if (value == nullptr) {
      *error = std::string(field.name) + "=" + text + " is not a valid " +
               KindName(field.kind);
      return nullptr;
    }
    fl_value_append_take(fields, value);
  }
  if (!named->empty()) {
    *error = "no field " + named->begin()->first + " in " + record->name;
    return nullptr;
  }
  GObject* built = korvane_bridge_record_new_from_list(type_code, fields);
  if (built == nullptr) {
    *error = std::string("the bridge does not take these fields for ") +
             record->name;
    return nullptr;
  }
  return fl_value_new_custom_object_take(type_code, built);
}

}  // namespace

const std::vector<BridgeMethod>& BridgeMethods() {
  static const std::vector<BridgeMethod> methods(
      korvane_bridge_host_api_methods,
      korvane_bridge_host_api_methods + korvane_bridge_host_api_method_count);
  return methods;
}

const BridgeMethod* FindBridgeMethod(const std::string& name) {
  for (const BridgeMethod& method : BridgeMethods()) {
    if (name == method.name) {
      return &method;
    }
  }
  return nullptr;
}

std::vector<std::string> ArgumentsUsage(const BridgeMethod& method) {
  std::vector<std::string> usage;
  for (size_t i = 0; i < method.argument_count; i++) {
    const KorvaneBridgeFieldDescription& argument = method.arguments[i];
    if (argument.kind != KORVANE_BRIDGE_FIELD_KIND_RECORD) {
      usage.push_back(std::string(argument.name) + "=" +
                      KindName(argument.kind));
      continue;
    }
    // A record is given field by field.
    const KorvaneBridgeRecordDescription* record =
        RecordDescription(argument.type_code);
    for (size_t j = 0; j < record->field_count; j++) {
      usage.push_back(std::string(record->fields[j].name) + "=" +
                      KindName(record->fields[j].kind));
    }
  }
  return usage;
}

FlValue* BuildRequest(const BridgeMethod& method,
                      const std::vector<std::string>& arguments,
                      std::string* error) {
  std::map<std::string, std::string> named;
  if (!SplitArguments(arguments, &named, error)) {
    return nullptr;
  }
  g_autoptr(FlValue) request = fl_value_new_list();
  for (size_t i = 0; i < method.argument_count; i++) {
    const KorvaneBridgeFieldDescription& argument = method.arguments[i];
    FlValue* value = nullptr;
    std::string text;
    if (argument.kind == KORVANE_BRIDGE_FIELD_KIND_RECORD) {
      value = BuildRecord(argument.type_code, &named, error);
      if (value == nullptr) {
        return nullptr;
      }
    } else if (!TakeValue(&named, argument.name, &text)) {
      *error = std::string("missing ") + argument.name + "=";
      return nullptr;
    } else if ((value = FieldValue(argument, &text)) == nullptr) {
      *error = std::string(argument.name) + "=" + text + " is not a valid " +
               KindName(argument.kind);
      return nullptr;
    }
    fl_value_append_take(request, value);
  }
  if (!named.empty()) {
    *error = std::string(method.name) + " takes no " + named.begin()->first;
    return nullptr;
  }
  return fl_value_ref(request);
}

}  // namespace korvane_peer_tool
