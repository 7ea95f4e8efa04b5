#include "bridge_methods.h"

#include <cerrno>
#include <map>
#include <memory>

#include "korvane_bridge_record_schema.h"

namespace korvane_peer_tool {

namespace {

using korvane_bridge_channels::Argument;
using korvane_bridge_records::FieldKind;
using korvane_bridge_records::FieldDescription;
using korvane_bridge_records::FieldValue;
using korvane_bridge_records::RecordSchema;

const char* KindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::kInt:
      return "INT";
    case FieldKind::kDouble:
      return "NUMBER";
    case FieldKind::kBool:
      return "BOOL";
    case FieldKind::kEnum:
      return "ENUM";
    case FieldKind::kText:
      return "TEXT";
    case FieldKind::kNullableText:
      return "TEXT|null";
    case FieldKind::kBytes:
      return "BYTES";
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

bool ParseField(const FieldDescription& field,
                const std::string& text,
                FieldValue* value) {
  int64_t integer = 0;
  switch (field.kind) {
    case FieldKind::kInt:
      return ParseInt(text, &value->int_value);
    case FieldKind::kDouble:
      return ParseDouble(text, &value->double_value);
    case FieldKind::kBool:
      return ParseBool(text, &value->bool_value);
    case FieldKind::kEnum:
      if (!ParseInt(text, &integer) || integer < G_MININT ||
          integer > G_MAXINT) {
        return false;
      }
      value->enum_value = static_cast<gint>(integer);
      return true;
    case FieldKind::kText:
    case FieldKind::kNullableText:
    case FieldKind::kBytes:
      // Texts are taken as they are; no request record carries bytes.
      return false;
  }
  return false;
}

FlValue* BuildRecord(const RecordSchema& schema,
                     std::map<std::string, std::string>* named,
                     std::string* error) {
  std::vector<FieldValue> values(schema.field_count);
  // Texts stay here until the record has copied them.
  std::vector<std::unique_ptr<std::string>> texts;
  for (size_t i = 0; i < schema.field_count; i++) {
    const FieldDescription& field = schema.fields[i];
    values[i] = FieldValue{};
    std::string text;
    bool given = TakeValue(named, field.name, &text);
    if (field.kind == FieldKind::kText ||
        (field.kind == FieldKind::kNullableText && given)) {
      texts.push_back(std::make_unique<std::string>(text));
      values[i].text = texts.back()->data();
    } else if (given && !ParseField(field, text, &values[i])) {
      *error = std::string(field.name) + "=" + text + " is not a valid " +
               KindName(field.kind);
      return nullptr;
    }
  }
  if (!named->empty()) {
    *error = "no field " + named->begin()->first + " in " + schema.short_name;
    return nullptr;
  }
  return fl_value_new_custom_object_take(
      schema.type_code,
      korvane_bridge_records::NewRecord(schema, values.data()));
}

// Of the plain arguments, only the first of "text and int" is a text.
bool IsTextArgument(const BridgeMethod& method, size_t index) {
  return method.description.argument == Argument::kTextAndInt && index == 0;
}

size_t PlainArgumentCount(const BridgeMethod& method) {
  switch (method.description.argument) {
    case Argument::kInt:
      return 1;
    case Argument::kTextAndInt:
      return 2;
    default:
      return 0;
  }
}

}  // namespace

const std::vector<BridgeMethod>& BridgeMethods() {
  static const std::vector<BridgeMethod> methods = [] {
    std::vector<BridgeMethod> all;
    for (const korvane_bridge_channels::ApiDescription* api :
         {&korvane_bridge_channels::VirtualControllerHostApiDescription(),
          &korvane_bridge_channels::HostSystemBridgeApiDescription()}) {
      for (size_t i = 0; i < api->method_count; i++) {
        all.push_back({api->name, api->methods[i]});
      }
    }
    return all;
  }();
  return methods;
}

const BridgeMethod* FindBridgeMethod(const std::string& name) {
  for (const BridgeMethod& method : BridgeMethods()) {
    if (name == method.description.name) {
      return &method;
    }
  }
  return nullptr;
}

std::string ChannelOf(const BridgeMethod& method) {
  g_autofree gchar* channel =
      korvane_bridge_channels::ChannelName(method.api, method.description.name, "");
  return channel;
}

std::vector<std::string> ArgumentsUsage(const BridgeMethod& method) {
  std::vector<std::string> usage;
  auto add = [&usage](const std::string& name, const char* kind) {
    usage.push_back(name + "=" + kind);
  };
  if (method.description.argument == Argument::kRecord) {
    const RecordSchema* schema =
        korvane_bridge_records::SchemaForCode(method.description.record_code);
    for (size_t i = 0; i < schema->field_count; i++) {
      add(schema->fields[i].name, KindName(schema->fields[i].kind));
    }
    return usage;
  }
  for (size_t i = 0; i < PlainArgumentCount(method); i++) {
    add(method.description.argument_names[i],
        IsTextArgument(method, i) ? "TEXT" : "INT");
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
  switch (method.description.argument) {
    case Argument::kNone:
      break;
    case Argument::kRecord: {
      FlValue* record = BuildRecord(
          *korvane_bridge_records::SchemaForCode(method.description.record_code),
          &named, error);
      if (record == nullptr) {
        return nullptr;
      }
      fl_value_append_take(request, record);
      break;
    }
    case Argument::kInt:
    case Argument::kTextAndInt: {
      for (size_t i = 0; i < PlainArgumentCount(method); i++) {
        const char* name = method.description.argument_names[i];
        std::string text;
        int64_t integer = 0;
        if (!TakeValue(&named, name, &text)) {
          *error = std::string("missing ") + name + "=";
          return nullptr;
        }
        if (IsTextArgument(method, i)) {
          fl_value_append_take(request, fl_value_new_string(text.c_str()));
        } else if (ParseInt(text, &integer)) {
          fl_value_append_take(request, fl_value_new_int(integer));
        } else {
          *error = std::string(name) + "=" + text + " is not a valid INT";
          return nullptr;
        }
      }
      break;
    }
  }
  if (!named.empty()) {
    *error =
        std::string(method.description.name) + " takes no " + named.begin()->first;
    return nullptr;
  }
  return fl_value_ref(request);
}

}  // namespace korvane_peer_tool
