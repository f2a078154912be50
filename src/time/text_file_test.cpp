#include "time/text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "time/testing/temp_dir.h"

namespace ephemeris {
namespace {

TEST(ReadTextFile, ReadsWholeFile) {
  testing::TempDir dir;
  const std::string text = "line one\r\nline two\n\xE2\x82\xAC";
  EXPECT_EQ(read_text_file(dir.write("a.txt", text)), text);
  EXPECT_EQ(read_text_file(dir.write("empty.txt", "")), "");
}

TEST(ReadTextFile, ReportsOperatingSystemErrors) {
  testing::TempDir dir;
  EXPECT_EQ(read_text_file((dir.path() / "missing.txt").string()).error().text, "No such file or directory");
  EXPECT_EQ(read_text_file(dir.path().string()).error().text, "Is a directory");
}

TEST(ReadTextFile, RefusesWhatIsNotARegularUtf8File) {
  testing::TempDir dir;
  EXPECT_EQ(read_text_file(dir.write("bad.txt", "ok \xC3\x28")).error().text, "stream did not contain valid UTF-8");
  EXPECT_EQ(read_text_file("/dev/null").error().text, "not a regular file");
  const std::string fifo = (dir.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(read_text_file(fifo).error().text, "not a regular file");  // and does not block
  EXPECT_EQ(read_text_file(std::string_view("a\0b", 3)).error().text, "path contains a NUL byte");
}

TEST(ReadTextFile, RefusesFileOverSizeLimitWithoutReadingIt) {
  testing::TempDir dir;
  const std::string path = dir.write("huge.txt", "");
  // A sparse file: the size is refused before any byte is read.
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kMaxTextFileBytes) + 1), 0);
  EXPECT_EQ(read_text_file(path).error().text, "file is larger than 268435456 bytes");
}

}  // namespace
}  // namespace ephemeris
