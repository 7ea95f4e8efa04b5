#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <cmath>

#include "log_capture.h"

namespace {

using flutter_testing::LogCapture;

std::string ToString(FlValue* value) {
  g_autofree gchar* text = fl_value_to_string(value);
  return text;
}

TEST(FlValueTest, ValuesHoldTheirOwnCopies) {
  g_autoptr(FlValue) big = fl_value_new_int(INT64_MIN);
  g_autoptr(FlValue) real = fl_value_new_float(-2.5);
  g_autoptr(FlValue) text = fl_value_new_string("héllo");
  g_autoptr(FlValue) sized = fl_value_new_string_sized("abcdef", 3);
  g_autoptr(FlValue) empty_sized = fl_value_new_string_sized(nullptr, 0);
  EXPECT_EQ(fl_value_get_int(big), INT64_MIN);
  EXPECT_EQ(fl_value_get_float(real), -2.5);
  EXPECT_STREQ(fl_value_get_string(text), "héllo");
  EXPECT_STREQ(fl_value_get_string(sized), "abc");
  EXPECT_STREQ(fl_value_get_string(empty_sized), "");

  uint8_t bytes[] = {1, 2, 255};
  int32_t ints[] = {-1, INT32_MAX};
  g_autoptr(FlValue) u8 = fl_value_new_uint8_list(bytes, 3);
  int64_t longs[] = {INT64_MAX};
  float floats[] = {1.5f, -0.25f};
  double doubles[] = {3.25};
  g_autoptr(FlValue) i32 = fl_value_new_int32_list(ints, 2);
  g_autoptr(FlValue) i64 = fl_value_new_int64_list(longs, 1);
  g_autoptr(FlValue) f32 = fl_value_new_float32_list(floats, 2);
  g_autoptr(FlValue) f64 = fl_value_new_float_list(doubles, 1);
  bytes[0] = ints[1] = longs[0] = floats[1] = doubles[0] = 0;
  EXPECT_EQ(fl_value_get_length(u8), 3u);
  EXPECT_EQ(fl_value_get_uint8_list(u8)[0], 1);
  EXPECT_EQ(fl_value_get_int32_list(i32)[1], INT32_MAX);
  EXPECT_EQ(fl_value_get_int64_list(i64)[0], INT64_MAX);
  EXPECT_EQ(fl_value_get_float32_list(f32)[1], -0.25f);
  EXPECT_EQ(fl_value_get_float_list(f64)[0], 3.25);

  g_autoptr(GBytes) gbytes = g_bytes_new("xyz", 3);
  g_autoptr(FlValue) from_bytes = fl_value_new_uint8_list_from_bytes(gbytes);
  EXPECT_EQ(fl_value_get_length(from_bytes), 3u);
  EXPECT_EQ(fl_value_get_uint8_list(from_bytes)[2], 'z');
  g_autoptr(FlValue) empty = fl_value_new_uint8_list(nullptr, 0);
  EXPECT_EQ(fl_value_get_length(empty), 0u);
}

TEST(FlValueTest, ListsAndMapsHoldReferences) {
  g_autoptr(FlValue) list = fl_value_new_list();
  g_autoptr(FlValue) child = fl_value_new_int(7);
  fl_value_append(list, child);
  fl_value_append_take(list, fl_value_new_string("x"));
  EXPECT_EQ(fl_value_get_length(list), 2u);
  EXPECT_EQ(fl_value_get_list_value(list, 0), child);

  const gchar* strv[] = {"a", "b", nullptr};
  g_autoptr(FlValue) strings = fl_value_new_list_from_strv(strv);
  EXPECT_EQ(ToString(strings), "[a, b]");

  g_autoptr(FlValue) map = fl_value_new_map();
  fl_value_set_string_take(map, "one", fl_value_new_int(1));
  fl_value_set_take(map, fl_value_new_int(2), fl_value_new_string("two"));
  // Setting an existing key replaces its value in place.
  fl_value_set_string_take(map, "one", fl_value_new_int(11));
  EXPECT_EQ(fl_value_get_length(map), 2u);
  EXPECT_EQ(fl_value_get_int(fl_value_lookup_string(map, "one")), 11);
  g_autoptr(FlValue) key = fl_value_new_int(2);
  EXPECT_STREQ(fl_value_get_string(fl_value_lookup(map, key)), "two");
  EXPECT_EQ(fl_value_lookup_string(map, "missing"), nullptr);
  EXPECT_STREQ(fl_value_get_string(fl_value_get_map_key(map, 0)), "one");
  EXPECT_EQ(fl_value_get_int(fl_value_get_map_value(map, 0)), 11);
}

TEST(FlValueTest, CustomValuesReleaseTheirPayloadOnce) {
  static int released;
  released = 0;
  FlValue* custom = fl_value_new_custom(130, GINT_TO_POINTER(5), [](gpointer) { released++; });
  fl_value_ref(custom);
  fl_value_unref(custom);
  EXPECT_EQ(released, 0);
  EXPECT_EQ(fl_value_get_custom_type(custom), 130);
  EXPECT_EQ(fl_value_get_custom_value(custom), GINT_TO_POINTER(5));
  fl_value_unref(custom);
  EXPECT_EQ(released, 1);

  GObject* object = G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr));
  g_object_add_weak_pointer(object, reinterpret_cast<gpointer*>(&object));
  FlValue* held = fl_value_new_custom_object(140, object);
  g_object_unref(object);  // the value keeps its own reference
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(fl_value_get_custom_value_object(held), object);
  fl_value_unref(held);
  EXPECT_EQ(object, nullptr);

  GObject* taken = G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr));
  g_object_add_weak_pointer(taken, reinterpret_cast<gpointer*>(&taken));
  fl_value_unref(fl_value_new_custom_object_take(141, taken));
  EXPECT_EQ(taken, nullptr);
}

TEST(FlValueTest, WrongTypeOrIndexGivesCriticalAndNeutralResult) {
  g_autoptr(FlValue) text = fl_value_new_string("x");
  g_autoptr(FlValue) list = fl_value_new_list();
  fl_value_append_take(list, fl_value_new_int(1));
  g_autoptr(FlValue) map = fl_value_new_map();
  g_autoptr(FlValue) not_object = fl_value_new_custom(129, GINT_TO_POINTER(1), nullptr);

  LogCapture log;
  EXPECT_FALSE(fl_value_get_bool(text));
  EXPECT_EQ(fl_value_get_int(text), 0);
  EXPECT_EQ(fl_value_get_float(text), 0.0);
  EXPECT_EQ(fl_value_get_string(list), nullptr);
  EXPECT_EQ(fl_value_get_uint8_list(text), nullptr);
  EXPECT_EQ(fl_value_get_float_list(list), nullptr);
  EXPECT_EQ(fl_value_get_length(text), 0u);
  EXPECT_EQ(fl_value_get_list_value(list, 1), nullptr);
  EXPECT_EQ(fl_value_get_list_value(text, 0), nullptr);
  EXPECT_EQ(fl_value_get_map_key(map, 0), nullptr);
  EXPECT_EQ(fl_value_get_map_value(map, 0), nullptr);
  EXPECT_EQ(fl_value_lookup_string(list, "x"), nullptr);
  EXPECT_EQ(fl_value_get_custom_type(text), -1);
  EXPECT_EQ(fl_value_get_custom_value(text), nullptr);
  // A custom value that holds no object is never read as one.
  EXPECT_EQ(fl_value_get_custom_value_object(not_object), nullptr);
  EXPECT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 15u);
}

TEST(FlValueTest, EqualityComparesContentsAndIgnoresMapOrder) {
  g_autoptr(FlValue) a = fl_value_new_map();
  fl_value_set_string_take(a, "x", fl_value_new_int(1));
  fl_value_set_string_take(a, "y", fl_value_new_list());
  g_autoptr(FlValue) b = fl_value_new_map();
  fl_value_set_string_take(b, "y", fl_value_new_list());
  fl_value_set_string_take(b, "x", fl_value_new_int(1));
  EXPECT_TRUE(fl_value_equal(a, b));
  fl_value_set_string_take(b, "x", fl_value_new_int(2));
  EXPECT_FALSE(fl_value_equal(a, b));
  // Every key of the smaller map is in the larger one, with the same value.
  g_autoptr(FlValue) more = fl_value_new_map();
  fl_value_set_string_take(more, "x", fl_value_new_int(1));
  fl_value_set_string_take(more, "y", fl_value_new_list());
  fl_value_set_string_take(more, "z", fl_value_new_null());
  EXPECT_FALSE(fl_value_equal(a, more));
  EXPECT_FALSE(fl_value_equal(more, a));

  g_autoptr(FlValue) one_int = fl_value_new_int(1);
  g_autoptr(FlValue) one_float = fl_value_new_float(1.0);
  g_autoptr(FlValue) nan = fl_value_new_float(NAN);
  int32_t first[] = {1, 2};
  int32_t second[] = {1, 3};
  g_autoptr(FlValue) list_a = fl_value_new_int32_list(first, 2);
  g_autoptr(FlValue) list_b = fl_value_new_int32_list(second, 2);
  g_autoptr(FlValue) list_c = fl_value_new_int32_list(first, 1);
  g_autoptr(FlValue) custom = fl_value_new_custom(130, nullptr, nullptr);
  EXPECT_FALSE(fl_value_equal(one_int, one_float));
  EXPECT_FALSE(fl_value_equal(nan, nan));
  EXPECT_FALSE(fl_value_equal(list_a, list_b));
  EXPECT_FALSE(fl_value_equal(list_a, list_c));
  EXPECT_FALSE(fl_value_equal(custom, custom));
}

TEST(FlValueTest, TextForms) {
  g_autoptr(FlValue) map = fl_value_new_map();
  fl_value_set_string_take(map, "k", fl_value_new_null());
  fl_value_set_take(map, fl_value_new_int(-3), fl_value_new_bool(false));
  EXPECT_EQ(ToString(map), "{k: null, -3: false}");

  double doubles[] = {1.0, 0.5, -1e20};
  g_autoptr(FlValue) floats = fl_value_new_float_list(doubles, 3);
  EXPECT_EQ(ToString(floats), "[1.0, 0.5, -100000000000000000000.0]");
  uint8_t bytes[] = {0, 255};
  g_autoptr(FlValue) u8 = fl_value_new_uint8_list(bytes, 2);
  EXPECT_EQ(ToString(u8), "[0, 255]");

  g_autoptr(FlValue) list = fl_value_new_list();
  fl_value_append_take(list, fl_value_new_string("a b"));
  fl_value_append_take(list, fl_value_new_float(2.25));
  fl_value_append_take(list, fl_value_new_custom(132, nullptr, nullptr));
  fl_value_append_take(list, fl_value_new_float(INFINITY));
  EXPECT_EQ(ToString(list), "[a b, 2.25, (custom 132), inf]");
}

}  // namespace
