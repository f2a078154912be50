#include "time/file_name.h"

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

TEST(FinalPathComponent, LastComponentIgnoringTrailingSeparators) {
  EXPECT_EQ(final_path_component("/data/naif0012.tls"), "naif0012.tls");
  EXPECT_EQ(final_path_component("naif0012.tls"), "naif0012.tls");
  EXPECT_EQ(final_path_component("kernels/de421.bsp//"), "de421.bsp");
  EXPECT_EQ(final_path_component("./eopc04"), "eopc04");
  EXPECT_EQ(final_path_component("kernels/de421.bsp/./"), "de421.bsp");  // "." names nothing
  EXPECT_EQ(final_path_component("a/./."), "a");
}

TEST(FinalPathComponent, NoneForRootEmptyAndParent) {
  EXPECT_EQ(final_path_component(""), std::nullopt);
  EXPECT_EQ(final_path_component("/"), std::nullopt);
  EXPECT_EQ(final_path_component("///"), std::nullopt);
  EXPECT_EQ(final_path_component(".."), std::nullopt);
  EXPECT_EQ(final_path_component("kernels/.."), std::nullopt);
  EXPECT_EQ(final_path_component("kernels/../"), std::nullopt);
  EXPECT_EQ(final_path_component("."), std::nullopt);
  EXPECT_EQ(final_path_component("/./"), std::nullopt);
  EXPECT_EQ(final_path_component("kernels/../."), std::nullopt);
}

TEST(Utf8FileName, RefusesInvalidUtf8) {
  EXPECT_EQ(utf8_file_name("/tmp/\xE6\x97\xA5.tls"), "\xE6\x97\xA5.tls");
  EXPECT_EQ(utf8_file_name("/tmp/\xFF.tls"), std::nullopt);
  EXPECT_EQ(utf8_file_name("/\xFF/ok.tls"), "ok.tls");  // only the final component matters
  EXPECT_EQ(utf8_file_name("/"), std::nullopt);
}

}  // namespace
}  // namespace ephemeris
