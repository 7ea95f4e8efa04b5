#include "flutter_linux/fl_value.h"

#include <inttypes.h>
#include <string.h>
#include <sys/types.h>

#include <type_traits>

struct _FlValue {
  FlValueType type;
  gint ref_count;
  union {
    bool bool_value;
    int64_t int_value;
    double float_value;
    gchar* string_value;
    // Typed lists own a copy of their elements.
    struct {
      gpointer data;
      size_t length;
    } typed_list;
    GPtrArray* list;
    struct {
      GPtrArray* keys;
      GPtrArray* values;
    } map;
    struct {
      int type;
      gconstpointer value;
      GDestroyNotify destroy_notify;
      // Only values made from a GObject may be read back as one; reading an
      // arbitrary pointer as an object would dereference garbage.
      bool is_object;
    } custom;
  };
};

namespace {

FlValue* value_new(FlValueType type) {
  FlValue* self = g_new0(FlValue, 1);
  self->type = type;
  self->ref_count = 1;
  return self;
}

size_t typed_list_element_size(FlValueType type) {
  switch (type) {
    case FL_VALUE_TYPE_UINT8_LIST:
      return sizeof(uint8_t);
    case FL_VALUE_TYPE_INT32_LIST:
    case FL_VALUE_TYPE_FLOAT32_LIST:
      return sizeof(int32_t);
    case FL_VALUE_TYPE_INT64_LIST:
    case FL_VALUE_TYPE_FLOAT_LIST:
      return sizeof(int64_t);
    default:
      return 0;
  }
}

bool is_typed_list(FlValueType type) {
  return typed_list_element_size(type) != 0;
}

FlValue* typed_list_new(FlValueType type,
                        gconstpointer data,
                        size_t length) {
  FlValue* self = value_new(type);
  self->typed_list.length = length;
  self->typed_list.data =
      length > 0 ? g_memdup2(data, length * typed_list_element_size(type))
                 : nullptr;
  return self;
}

gconstpointer typed_list_data(FlValue* self, FlValueType type) {
  g_return_val_if_fail(self != nullptr, nullptr);
  g_return_val_if_fail(self->type == type, nullptr);
  return self->typed_list.data;
}

void value_unref_cb(gpointer value) {
  fl_value_unref(static_cast<FlValue*>(value));
}

FlValue* custom_new(int type,
                    gconstpointer value,
                    GDestroyNotify destroy_notify,
                    bool is_object) {
  FlValue* self = value_new(FL_VALUE_TYPE_CUSTOM);
  self->custom.type = type;
  self->custom.value = value;
  self->custom.destroy_notify = destroy_notify;
  self->custom.is_object = is_object;
  return self;
}

ssize_t map_lookup_index(FlValue* self, FlValue* key) {
  for (guint i = 0; i < self->map.keys->len; i++) {
    if (fl_value_equal(static_cast<FlValue*>(g_ptr_array_index(self->map.keys, i)),
                       key)) {
      return i;
    }
  }
  return -1;
}

// Floats compare by value, not by bits: 0.0 equals -0.0 and NaN equals
// nothing.
template <typename T>
bool floats_equal(FlValue* a, FlValue* b) {
  if (a->typed_list.length != b->typed_list.length) {
    return false;
  }
  const T* values_a = static_cast<const T*>(a->typed_list.data);
  const T* values_b = static_cast<const T*>(b->typed_list.data);
  for (size_t i = 0; i < a->typed_list.length; i++) {
    if (values_a[i] != values_b[i]) {
      return false;
    }
  }
  return true;
}

// Prints the shortest "%.16f" form: trailing zeros go, one digit after the
// point stays ("1.0", "2.5").
void float_to_string(double value, GString* buffer) {
  g_string_append_printf(buffer, "%.16f", value);
  gsize end = buffer->len;
  const gchar* point = strrchr(buffer->str, '.');
  if (point == nullptr) {
    return;  // inf and nan have no fraction
  }
  gsize min_end = (point - buffer->str) + 2;
  while (end > min_end && buffer->str[end - 1] == '0') {
    end--;
  }
  g_string_truncate(buffer, end);
}

void value_to_string(FlValue* value, GString* buffer);

template <typename T>
void numbers_to_string(FlValue* value, GString* buffer) {
  const T* values = static_cast<const T*>(value->typed_list.data);
  size_t length = value->typed_list.length;
  g_string_append(buffer, "[");
  for (size_t i = 0; i < length; i++) {
    if (i > 0) {
      g_string_append(buffer, ", ");
    }
    if constexpr (std::is_floating_point_v<T>) {
      float_to_string(values[i], buffer);
    } else {
      g_string_append_printf(buffer, "%" PRId64, static_cast<int64_t>(values[i]));
    }
  }
  g_string_append(buffer, "]");
}

void value_to_string(FlValue* value, GString* buffer) {
  switch (value->type) {
    case FL_VALUE_TYPE_NULL:
      g_string_append(buffer, "null");
      return;
    case FL_VALUE_TYPE_BOOL:
      g_string_append(buffer, value->bool_value ? "true" : "false");
      return;
    case FL_VALUE_TYPE_INT:
      g_string_append_printf(buffer, "%" PRId64, value->int_value);
      return;
    case FL_VALUE_TYPE_FLOAT:
      float_to_string(value->float_value, buffer);
      return;
    case FL_VALUE_TYPE_STRING:
      g_string_append(buffer, value->string_value);
      return;
    case FL_VALUE_TYPE_UINT8_LIST:
      numbers_to_string<uint8_t>(value, buffer);
      return;
    case FL_VALUE_TYPE_INT32_LIST:
      numbers_to_string<int32_t>(value, buffer);
      return;
    case FL_VALUE_TYPE_INT64_LIST:
      numbers_to_string<int64_t>(value, buffer);
      return;
    case FL_VALUE_TYPE_FLOAT32_LIST:
      numbers_to_string<float>(value, buffer);
      return;
    case FL_VALUE_TYPE_FLOAT_LIST:
      numbers_to_string<double>(value, buffer);
      return;
    case FL_VALUE_TYPE_LIST:
      g_string_append(buffer, "[");
      for (guint i = 0; i < value->list->len; i++) {
        if (i > 0) {
          g_string_append(buffer, ", ");
        }
        value_to_string(static_cast<FlValue*>(g_ptr_array_index(value->list, i)),
                        buffer);
      }
      g_string_append(buffer, "]");
      return;
    case FL_VALUE_TYPE_MAP:
      g_string_append(buffer, "{");
      for (guint i = 0; i < value->map.keys->len; i++) {
        if (i > 0) {
          g_string_append(buffer, ", ");
        }
        value_to_string(
            static_cast<FlValue*>(g_ptr_array_index(value->map.keys, i)), buffer);
        g_string_append(buffer, ": ");
        value_to_string(
            static_cast<FlValue*>(g_ptr_array_index(value->map.values, i)),
            buffer);
      }
      g_string_append(buffer, "}");
      return;
    case FL_VALUE_TYPE_CUSTOM:
      g_string_append_printf(buffer, "(custom %d)", value->custom.type);
      return;
  }
}

}  // namespace

G_MODULE_EXPORT FlValue* fl_value_new_null() {
  return value_new(FL_VALUE_TYPE_NULL);
}

G_MODULE_EXPORT FlValue* fl_value_new_bool(bool value) {
  FlValue* self = value_new(FL_VALUE_TYPE_BOOL);
  self->bool_value = value;
  return self;
}

G_MODULE_EXPORT FlValue* fl_value_new_int(int64_t value) {
  FlValue* self = value_new(FL_VALUE_TYPE_INT);
  self->int_value = value;
  return self;
}

G_MODULE_EXPORT FlValue* fl_value_new_float(double value) {
  FlValue* self = value_new(FL_VALUE_TYPE_FLOAT);
  self->float_value = value;
  return self;
}

G_MODULE_EXPORT FlValue* fl_value_new_string(const gchar* value) {
  g_return_val_if_fail(value != nullptr, nullptr);
  FlValue* self = value_new(FL_VALUE_TYPE_STRING);
  self->string_value = g_strdup(value);
  return self;
}

G_MODULE_EXPORT FlValue* fl_value_new_string_sized(const gchar* value,
                                                   size_t value_length) {
  g_return_val_if_fail(value != nullptr || value_length == 0, nullptr);
  FlValue* self = value_new(FL_VALUE_TYPE_STRING);
  self->string_value =
      value_length == 0 ? g_strdup("") : g_strndup(value, value_length);
  return self;
}

G_MODULE_EXPORT FlValue* fl_value_new_uint8_list(const uint8_t* data,
                                                 size_t data_length) {
  g_return_val_if_fail(data != nullptr || data_length == 0, nullptr);
  return typed_list_new(FL_VALUE_TYPE_UINT8_LIST, data, data_length);
}

G_MODULE_EXPORT FlValue* fl_value_new_uint8_list_from_bytes(GBytes* data) {
  g_return_val_if_fail(data != nullptr, nullptr);
  gsize length = 0;
  const uint8_t* bytes =
      static_cast<const uint8_t*>(g_bytes_get_data(data, &length));
  return typed_list_new(FL_VALUE_TYPE_UINT8_LIST, bytes, length);
}

G_MODULE_EXPORT FlValue* fl_value_new_int32_list(const int32_t* data,
                                                 size_t data_length) {
  g_return_val_if_fail(data != nullptr || data_length == 0, nullptr);
  return typed_list_new(FL_VALUE_TYPE_INT32_LIST, data, data_length);
}

G_MODULE_EXPORT FlValue* fl_value_new_int64_list(const int64_t* data,
                                                 size_t data_length) {
  g_return_val_if_fail(data != nullptr || data_length == 0, nullptr);
  return typed_list_new(FL_VALUE_TYPE_INT64_LIST, data, data_length);
}

G_MODULE_EXPORT FlValue* fl_value_new_float32_list(const float* data,
                                                   size_t data_length) {
  g_return_val_if_fail(data != nullptr || data_length == 0, nullptr);
  return typed_list_new(FL_VALUE_TYPE_FLOAT32_LIST, data, data_length);
}

G_MODULE_EXPORT FlValue* fl_value_new_float_list(const double* data,
                                                 size_t data_length) {
  g_return_val_if_fail(data != nullptr || data_length == 0, nullptr);
  return typed_list_new(FL_VALUE_TYPE_FLOAT_LIST, data, data_length);
}

G_MODULE_EXPORT FlValue* fl_value_new_list() {
  FlValue* self = value_new(FL_VALUE_TYPE_LIST);
  self->list = g_ptr_array_new_with_free_func(value_unref_cb);
  return self;
}

G_MODULE_EXPORT FlValue* fl_value_new_list_from_strv(const gchar* const* str_array) {
  g_return_val_if_fail(str_array != nullptr, nullptr);
  FlValue* self = fl_value_new_list();
  for (int i = 0; str_array[i] != nullptr; i++) {
    fl_value_append_take(self, fl_value_new_string(str_array[i]));
  }
  return self;
}

G_MODULE_EXPORT FlValue* fl_value_new_map() {
  FlValue* self = value_new(FL_VALUE_TYPE_MAP);
  self->map.keys = g_ptr_array_new_with_free_func(value_unref_cb);
  self->map.values = g_ptr_array_new_with_free_func(value_unref_cb);
  return self;
}

G_MODULE_EXPORT FlValue* fl_value_new_custom(int type,
                                             gconstpointer value,
                                             GDestroyNotify destroy_notify) {
  return custom_new(type, value, destroy_notify, false);
}

G_MODULE_EXPORT FlValue* fl_value_new_custom_object(int type, GObject* object) {
  g_return_val_if_fail(G_IS_OBJECT(object), nullptr);
  return custom_new(type, g_object_ref(object), g_object_unref, true);
}

G_MODULE_EXPORT FlValue* fl_value_new_custom_object_take(int type,
                                                         GObject* object) {
  g_return_val_if_fail(G_IS_OBJECT(object), nullptr);
  return custom_new(type, object, g_object_unref, true);
}

G_MODULE_EXPORT FlValue* fl_value_ref(FlValue* self) {
  g_return_val_if_fail(self != nullptr, nullptr);
  g_return_val_if_fail(g_atomic_int_get(&self->ref_count) > 0, nullptr);
  g_atomic_int_inc(&self->ref_count);
  return self;
}

G_MODULE_EXPORT void fl_value_unref(FlValue* self) {
  g_return_if_fail(self != nullptr);
  g_return_if_fail(g_atomic_int_get(&self->ref_count) > 0);
  if (!g_atomic_int_dec_and_test(&self->ref_count)) {
    return;
  }

  switch (self->type) {
    case FL_VALUE_TYPE_STRING:
      g_free(self->string_value);
      break;
    case FL_VALUE_TYPE_LIST:
      g_ptr_array_unref(self->list);
      break;
    case FL_VALUE_TYPE_MAP:
      g_ptr_array_unref(self->map.keys);
      g_ptr_array_unref(self->map.values);
      break;
    case FL_VALUE_TYPE_CUSTOM:
      if (self->custom.destroy_notify != nullptr) {
        self->custom.destroy_notify(const_cast<gpointer>(self->custom.value));
      }
      break;
    default:
      if (is_typed_list(self->type)) {
        g_free(self->typed_list.data);
      }
      break;
  }
  g_free(self);
}

G_MODULE_EXPORT FlValueType fl_value_get_type(FlValue* self) {
  g_return_val_if_fail(self != nullptr, FL_VALUE_TYPE_NULL);
  return self->type;
}

G_MODULE_EXPORT bool fl_value_equal(FlValue* a, FlValue* b) {
  g_return_val_if_fail(a != nullptr, false);
  g_return_val_if_fail(b != nullptr, false);

  if (a->type != b->type) {
    return false;
  }

  switch (a->type) {
    case FL_VALUE_TYPE_NULL:
      return true;
    case FL_VALUE_TYPE_BOOL:
      return a->bool_value == b->bool_value;
    case FL_VALUE_TYPE_INT:
      return a->int_value == b->int_value;
    case FL_VALUE_TYPE_FLOAT:
      return a->float_value == b->float_value;
    case FL_VALUE_TYPE_STRING:
      return g_strcmp0(a->string_value, b->string_value) == 0;
    case FL_VALUE_TYPE_UINT8_LIST:
    case FL_VALUE_TYPE_INT32_LIST:
    case FL_VALUE_TYPE_INT64_LIST:
      return a->typed_list.length == b->typed_list.length &&
             (a->typed_list.length == 0 ||
              memcmp(a->typed_list.data, b->typed_list.data,
                     a->typed_list.length * typed_list_element_size(a->type)) ==
                  0);
    case FL_VALUE_TYPE_FLOAT32_LIST:
      return floats_equal<float>(a, b);
    case FL_VALUE_TYPE_FLOAT_LIST:
      return floats_equal<double>(a, b);
    case FL_VALUE_TYPE_LIST:
      if (a->list->len != b->list->len) {
        return false;
      }
      for (guint i = 0; i < a->list->len; i++) {
        if (!fl_value_equal(static_cast<FlValue*>(g_ptr_array_index(a->list, i)),
                            static_cast<FlValue*>(g_ptr_array_index(b->list, i)))) {
          return false;
        }
      }
      return true;
    case FL_VALUE_TYPE_MAP:
      if (a->map.keys->len != b->map.keys->len) {
        return false;
      }
      for (guint i = 0; i < a->map.keys->len; i++) {
        FlValue* value_b = fl_value_lookup(
            b, static_cast<FlValue*>(g_ptr_array_index(a->map.keys, i)));
        if (value_b == nullptr ||
            !fl_value_equal(
                static_cast<FlValue*>(g_ptr_array_index(a->map.values, i)),
                value_b)) {
          return false;
        }
      }
      return true;
    case FL_VALUE_TYPE_CUSTOM:
      return false;
  }
  return false;
}

G_MODULE_EXPORT void fl_value_append(FlValue* self, FlValue* child) {
  g_return_if_fail(self != nullptr);
  g_return_if_fail(self->type == FL_VALUE_TYPE_LIST);
  g_return_if_fail(child != nullptr);
  fl_value_append_take(self, fl_value_ref(child));
}

G_MODULE_EXPORT void fl_value_append_take(FlValue* self, FlValue* child) {
  g_return_if_fail(self != nullptr);
  g_return_if_fail(self->type == FL_VALUE_TYPE_LIST);
  g_return_if_fail(child != nullptr);
  g_ptr_array_add(self->list, child);
}

G_MODULE_EXPORT void fl_value_set(FlValue* self, FlValue* key, FlValue* value) {
  g_return_if_fail(self != nullptr);
  g_return_if_fail(self->type == FL_VALUE_TYPE_MAP);
  g_return_if_fail(key != nullptr);
  g_return_if_fail(value != nullptr);
  fl_value_set_take(self, fl_value_ref(key), fl_value_ref(value));
}

G_MODULE_EXPORT void fl_value_set_take(FlValue* self,
                                       FlValue* key,
                                       FlValue* value) {
  g_return_if_fail(self != nullptr);
  g_return_if_fail(self->type == FL_VALUE_TYPE_MAP);
  g_return_if_fail(key != nullptr);
  g_return_if_fail(value != nullptr);

  ssize_t index = map_lookup_index(self, key);
  if (index < 0) {
    g_ptr_array_add(self->map.keys, key);
    g_ptr_array_add(self->map.values, value);
    return;
  }
  // Swap in the new pair before releasing the old one: it may hold the last
  // reference to something the caller passed in.
  FlValue* old_key = static_cast<FlValue*>(self->map.keys->pdata[index]);
  FlValue* old_value = static_cast<FlValue*>(self->map.values->pdata[index]);
  self->map.keys->pdata[index] = key;
  self->map.values->pdata[index] = value;
  fl_value_unref(old_key);
  fl_value_unref(old_value);
}

G_MODULE_EXPORT void fl_value_set_string(FlValue* self,
                                         const gchar* key,
                                         FlValue* value) {
  g_return_if_fail(self != nullptr);
  g_return_if_fail(self->type == FL_VALUE_TYPE_MAP);
  g_return_if_fail(key != nullptr);
  g_return_if_fail(value != nullptr);
  fl_value_set_take(self, fl_value_new_string(key), fl_value_ref(value));
}

G_MODULE_EXPORT void fl_value_set_string_take(FlValue* self,
                                              const gchar* key,
                                              FlValue* value) {
  g_return_if_fail(self != nullptr);
  g_return_if_fail(self->type == FL_VALUE_TYPE_MAP);
  g_return_if_fail(key != nullptr);
  g_return_if_fail(value != nullptr);
  fl_value_set_take(self, fl_value_new_string(key), value);
}

G_MODULE_EXPORT bool fl_value_get_bool(FlValue* self) {
  g_return_val_if_fail(self != nullptr, false);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_BOOL, false);
  return self->bool_value;
}

G_MODULE_EXPORT int64_t fl_value_get_int(FlValue* self) {
  g_return_val_if_fail(self != nullptr, 0);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_INT, 0);
  return self->int_value;
}

G_MODULE_EXPORT double fl_value_get_float(FlValue* self) {
  g_return_val_if_fail(self != nullptr, 0.0);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_FLOAT, 0.0);
  return self->float_value;
}

G_MODULE_EXPORT const gchar* fl_value_get_string(FlValue* self) {
  g_return_val_if_fail(self != nullptr, nullptr);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_STRING, nullptr);
  return self->string_value;
}

G_MODULE_EXPORT const uint8_t* fl_value_get_uint8_list(FlValue* self) {
  return static_cast<const uint8_t*>(
      typed_list_data(self, FL_VALUE_TYPE_UINT8_LIST));
}

G_MODULE_EXPORT const int32_t* fl_value_get_int32_list(FlValue* self) {
  return static_cast<const int32_t*>(
      typed_list_data(self, FL_VALUE_TYPE_INT32_LIST));
}

G_MODULE_EXPORT const int64_t* fl_value_get_int64_list(FlValue* self) {
  return static_cast<const int64_t*>(
      typed_list_data(self, FL_VALUE_TYPE_INT64_LIST));
}

G_MODULE_EXPORT const float* fl_value_get_float32_list(FlValue* self) {
  return static_cast<const float*>(
      typed_list_data(self, FL_VALUE_TYPE_FLOAT32_LIST));
}

G_MODULE_EXPORT const double* fl_value_get_float_list(FlValue* self) {
  return static_cast<const double*>(
      typed_list_data(self, FL_VALUE_TYPE_FLOAT_LIST));
}

G_MODULE_EXPORT size_t fl_value_get_length(FlValue* self) {
  g_return_val_if_fail(self != nullptr, 0);
  g_return_val_if_fail(is_typed_list(self->type) ||
                           self->type == FL_VALUE_TYPE_LIST ||
                           self->type == FL_VALUE_TYPE_MAP,
                       0);
  switch (self->type) {
    case FL_VALUE_TYPE_LIST:
      return self->list->len;
    case FL_VALUE_TYPE_MAP:
      return self->map.keys->len;
    default:
      return self->typed_list.length;
  }
}

G_MODULE_EXPORT FlValue* fl_value_get_list_value(FlValue* self, size_t index) {
  g_return_val_if_fail(self != nullptr, nullptr);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_LIST, nullptr);
  g_return_val_if_fail(index < self->list->len, nullptr);
  return static_cast<FlValue*>(g_ptr_array_index(self->list, index));
}

G_MODULE_EXPORT FlValue* fl_value_get_map_key(FlValue* self, size_t index) {
  g_return_val_if_fail(self != nullptr, nullptr);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_MAP, nullptr);
  g_return_val_if_fail(index < self->map.keys->len, nullptr);
  return static_cast<FlValue*>(g_ptr_array_index(self->map.keys, index));
}

G_MODULE_EXPORT FlValue* fl_value_get_map_value(FlValue* self, size_t index) {
  g_return_val_if_fail(self != nullptr, nullptr);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_MAP, nullptr);
  g_return_val_if_fail(index < self->map.values->len, nullptr);
  return static_cast<FlValue*>(g_ptr_array_index(self->map.values, index));
}

G_MODULE_EXPORT FlValue* fl_value_lookup(FlValue* self, FlValue* key) {
  g_return_val_if_fail(self != nullptr, nullptr);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_MAP, nullptr);
  g_return_val_if_fail(key != nullptr, nullptr);
  ssize_t index = map_lookup_index(self, key);
  return index < 0 ? nullptr
                   : static_cast<FlValue*>(
                         g_ptr_array_index(self->map.values, index));
}

G_MODULE_EXPORT FlValue* fl_value_lookup_string(FlValue* self,
                                                const gchar* key) {
  g_return_val_if_fail(self != nullptr, nullptr);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_MAP, nullptr);
  g_return_val_if_fail(key != nullptr, nullptr);
  g_autoptr(FlValue) string_key = fl_value_new_string(key);
  return fl_value_lookup(self, string_key);
}

G_MODULE_EXPORT int fl_value_get_custom_type(FlValue* self) {
  g_return_val_if_fail(self != nullptr, -1);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_CUSTOM, -1);
  return self->custom.type;
}

G_MODULE_EXPORT gconstpointer fl_value_get_custom_value(FlValue* self) {
  g_return_val_if_fail(self != nullptr, nullptr);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_CUSTOM, nullptr);
  return self->custom.value;
}

G_MODULE_EXPORT GObject* fl_value_get_custom_value_object(FlValue* self) {
  g_return_val_if_fail(self != nullptr, nullptr);
  g_return_val_if_fail(self->type == FL_VALUE_TYPE_CUSTOM, nullptr);
  g_return_val_if_fail(self->custom.is_object, nullptr);
  return G_OBJECT(self->custom.value);
}

G_MODULE_EXPORT gchar* fl_value_to_string(FlValue* value) {
  g_return_val_if_fail(value != nullptr, nullptr);
  GString* buffer = g_string_new("");
  value_to_string(value, buffer);
  return g_string_free(buffer, FALSE);
}
