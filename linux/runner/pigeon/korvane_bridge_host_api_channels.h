#ifndef LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_HOST_API_CHANNELS_H_
#define LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_HOST_API_CHANNELS_H_

// The plumbing that both host APIs share: channel registration, argument
// decoding, response handles, reply envelopes and the warnings. Each API
// describes itself with an ApiDescription; everything else is written once here.
// Internal to the message bridge.

#include <flutter_linux/flutter_linux.h>

#include <cstdint>

namespace korvane_bridge_channels {

// The channel name of `method` of `api`: the bridge's prefix, the API, the
// method and `suffix`, which is "" or "." followed by the caller's suffix.
gchar* ChannelName(const char* api, const char* method, const char* suffix);

// "" for no suffix, otherwise "." followed by it.
gchar* SuffixText(const gchar* suffix);

enum class Argument {
  kNone,        // the request's list is ignored
  kRecord,      // element 0: a record of `record_code`
  kInt,         // element 0: an integer
  kTextAndInt,  // element 0: a string, element 1: an integer
};

struct MethodDescription {
  const char* name;  // as on the channel, e.g. "getDriverHealth"
  Argument argument;
  int record_code;
  // Answered from the response its slot returns, not through a handle.
  bool synchronous;
  // The names of the plain (not record) arguments, in request order.
  const char* argument_names[2];
  // What a success reply carries, e.g. "bool" or "NativeDriverHealth".
  const char* result;
};

// Borrowed from the decoded request for the duration of the slot call.
struct DecodedArguments {
  GObject* record = nullptr;
  int64_t integer = 0;
  const gchar* text = nullptr;
};

struct ApiDescription {
  const char* name;  // e.g. "VirtualControllerHostApi"
  const MethodDescription* methods;
  size_t method_count;
  GType (*api_type)();
  GType (*response_handle_type)();
  bool (*has_slot)(const void* vtable, int method);
  void (*call)(const void* vtable,
               int method,
               const DecodedArguments& args,
               GObject* response_handle,
               gpointer user_data);
  // Returns the reply envelope (a new reference), or nullptr when the slot
  // returned no response.
  FlValue* (*call_synchronous)(const void* vtable,
                               int method,
                               const DecodedArguments& args,
                               gpointer user_data);
};

// The two host APIs, as the Dart side calls them.
const ApiDescription& VirtualControllerHostApiDescription();
const ApiDescription& HostSystemBridgeApiDescription();

void SetMethodHandlers(const ApiDescription& api,
                       FlBinaryMessenger* messenger,
                       const gchar* suffix,
                       const void* vtable,
                       gpointer user_data,
                       GDestroyNotify user_data_free_func);

void ClearMethodHandlers(const ApiDescription& api,
                         FlBinaryMessenger* messenger,
                         const gchar* suffix);

// [result], with a null value for no result. Takes `result`.
FlValue* SuccessEnvelope(FlValue* result);

// [code, message or "", details or null]. `details` is not taken.
FlValue* ErrorEnvelope(const gchar* code, const gchar* message, FlValue* details);

// `record` as a custom value of `code`, or a null value when absent.
FlValue* RecordValue(int code, gpointer record);

// Sends `response`'s envelope through `response_handle`, once; a failure is
// logged, not retried.
void Respond(const ApiDescription& api,
             int method,
             gpointer response_handle,
             GObject* response);

// Instance layouts shared by the generated types below.
struct HostApiInstance {
  GObject parent_instance;
  const void* vtable;
  gpointer user_data;
  GDestroyNotify user_data_free_func;
};

struct ResponseHandleInstance {
  GObject parent_instance;
  FlBasicMessageChannel* channel;
  FlBasicMessageChannelResponseHandle* response_handle;
};

struct ResponseInstance {
  GObject parent_instance;
  FlValue* value;
};

void HostApiDispose(GObject* object);
void ResponseHandleDispose(GObject* object);
void ResponseDispose(GObject* object);

}  // namespace korvane_bridge_channels

#define KORVANE_BRIDGE_UNPAREN(...) __VA_ARGS__

// The API object type and its response handle type.
#define KORVANE_BRIDGE_DEFINE_HOST_API(Camel, lower)                         \
  struct _KorvaneBridge##Camel : korvane_bridge_channels::HostApiInstance {}; \
  G_DEFINE_TYPE(KorvaneBridge##Camel, korvane_bridge_##lower, G_TYPE_OBJECT)  \
  static void korvane_bridge_##lower##_class_init(                            \
      KorvaneBridge##Camel##Class* klass) {                                   \
    G_OBJECT_CLASS(klass)->dispose = korvane_bridge_channels::HostApiDispose; \
  }                                                                           \
  static void korvane_bridge_##lower##_init(KorvaneBridge##Camel*) {}         \
  struct _KorvaneBridge##Camel##ResponseHandle                                \
      : korvane_bridge_channels::ResponseHandleInstance {};                   \
  G_DEFINE_TYPE(KorvaneBridge##Camel##ResponseHandle,                         \
                korvane_bridge_##lower##_response_handle, G_TYPE_OBJECT)      \
  static void korvane_bridge_##lower##_response_handle_class_init(            \
      KorvaneBridge##Camel##ResponseHandleClass* klass) {                     \
    G_OBJECT_CLASS(klass)->dispose =                                          \
        korvane_bridge_channels::ResponseHandleDispose;                       \
  }                                                                           \
  static void korvane_bridge_##lower##_response_handle_init(                  \
      KorvaneBridge##Camel##ResponseHandle*) {}

// A per-method response type holding its reply envelope, and
// korvane_bridge_<lower>_take(envelope) to build one.
#define KORVANE_BRIDGE_DEFINE_RESPONSE(Camel, lower)                          \
  struct _KorvaneBridge##Camel : korvane_bridge_channels::ResponseInstance {}; \
  G_DEFINE_TYPE(KorvaneBridge##Camel, korvane_bridge_##lower, G_TYPE_OBJECT)   \
  static void korvane_bridge_##lower##_class_init(                             \
      KorvaneBridge##Camel##Class* klass) {                                    \
    G_OBJECT_CLASS(klass)->dispose = korvane_bridge_channels::ResponseDispose; \
  }                                                                            \
  static void korvane_bridge_##lower##_init(KorvaneBridge##Camel*) {}          \
  static KorvaneBridge##Camel* korvane_bridge_##lower##_take(FlValue* value) { \
    auto* self = static_cast<KorvaneBridge##Camel*>(                           \
        g_object_new(korvane_bridge_##lower##_get_type(), nullptr));           \
    self->value = value;                                                       \
    return self;                                                               \
  }

// The response type of one method and its respond_<method> and
// respond_error_<method> functions. PARAMS is the parenthesised tail of the
// success function's parameters; RESULT builds the result value from them.
#define KORVANE_BRIDGE_DEFINE_RESPONDERS(Api, api, Method, method, kApi,     \
                                         kMethod, PARAMS, RESULT)            \
  typedef struct _KorvaneBridge##Api##Method##Response                       \
      KorvaneBridge##Api##Method##Response;                                  \
  typedef struct {                                                           \
    GObjectClass parent_class;                                               \
  } KorvaneBridge##Api##Method##ResponseClass;                               \
  KORVANE_BRIDGE_DEFINE_RESPONSE(Api##Method##Response,                      \
                                 api##_##method##_response)                  \
  void korvane_bridge_##api##_respond_##method(                              \
      KorvaneBridge##Api##ResponseHandle* response_handle KORVANE_BRIDGE_UNPAREN \
          PARAMS) {                                                          \
    g_autoptr(GObject) response =                                            \
        G_OBJECT(korvane_bridge_##api##_##method##_response_take(            \
            korvane_bridge_channels::SuccessEnvelope(RESULT)));              \
    korvane_bridge_channels::Respond(kApi, kMethod, response_handle,         \
                                     response);                              \
  }                                                                          \
  void korvane_bridge_##api##_respond_error_##method(                        \
      KorvaneBridge##Api##ResponseHandle* response_handle, const gchar* code, \
      const gchar* message, FlValue* details) {                              \
    g_autoptr(GObject) response =                                            \
        G_OBJECT(korvane_bridge_##api##_##method##_response_take(            \
            korvane_bridge_channels::ErrorEnvelope(code, message, details))); \
    korvane_bridge_channels::Respond(kApi, kMethod, response_handle,         \
                                     response);                              \
  }

#endif  // LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_HOST_API_CHANNELS_H_
