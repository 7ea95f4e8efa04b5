#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <cmath>

#include "log_capture.h"

// Copies and references that values hold show under AddressSanitizer in
// FlStandardMessageCodecTest and the bridge tests; text forms in
// KorvaneBridgeRecordsTest.
namespace {

using flutter_testing::LogCapture;

TEST(FlValueTest, WrongTypeOrIndexGivesCriticalAndNeutralResult) {
  g_autoptr(FlValue) text = fl_value_new_string("x");
  g_autoptr(FlValue) list = fl_value_new_list();
  fl_value_append_take(list, fl_value_new_int(1));
  g_autoptr(FlValue) map = fl_value_new_map();
  g_autoptr(FlValue) not_object =
      fl_value_new_custom(129, GINT_TO_POINTER(1), nullptr);

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
  fl_value_set_string_take(b, "x", fl_value_new_int(2));
  EXPECT_FALSE(fl_value_equal(a, b));
  // Setting a key again replaces its value in place.
  fl_value_set_string_take(b, "x", fl_value_new_int(1));
  EXPECT_EQ(fl_value_get_length(b), 2u);
  EXPECT_TRUE(fl_value_equal(a, b));
  fl_value_set_string_take(b, "z", fl_value_new_null());
  EXPECT_FALSE(fl_value_equal(a, b));
  EXPECT_FALSE(fl_value_equal(b, a));

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

}  // namespace
