#include "tools/glyphmint/settings.h"

#include "tests/support/list-values.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
using support::message_of;
using support::to_vector;

// Each test writes settings files into its own temporary directory.
class SettingsFile : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/glyphmint-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  Path write(const std::string &name, const std::string &text) {
    const std::string path = dir_ + "/" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return Path(StrView(path.c_str()));
  }

  std::string read_error(const std::string &text) {
    try {
      (void)read_settings(write("x.glyphmint.ini", text));
    } catch (const Err &e) {
      return message_of(e);
    }
    return "(no error)";
  }

  std::string dir_;
};

TEST_F(SettingsFile, ReadsTheFourKeys) {
  const Glyphmint s = read_settings(write("Serif.glyphmint.ini", "path = Serif-Regular.ttf\n"
                                                                 "sizes = [12, 16]\n"
                                                                 "ranges = [32-126, 160-255]\n"
                                                                 "chars = [8364, 8230]\n"));
  EXPECT_TRUE(s.font.view() == StrView((dir_ + "/Serif-Regular.ttf").c_str()));
  EXPECT_EQ(to_vector(s.sizes), (std::vector<int>{12, 16}));
  EXPECT_EQ(to_vector(s.ranges), (std::vector<std::pair<int, int>>{{32, 126}, {160, 255}}));
  EXPECT_EQ(to_vector(s.chars), (std::vector<int>{8364, 8230}));
}

TEST_F(SettingsFile, KeysInOtherCasesAndFirstDuplicateWins) {
  const Glyphmint s = read_settings(write("a.glyphmint.ini", "SIZES = [8]\n"
                                                             "Sizes = [9]\n"
                                                             "Ranges = []\n"
                                                             "cHaRs = [65]\n"));
  EXPECT_EQ(to_vector(s.sizes), (std::vector<int>{8}));
  EXPECT_EQ(to_vector(s.chars), (std::vector<int>{65}));
}

TEST_F(SettingsFile, PathStaysBelowTheSettingsDirectory) {
  // The value is joined below the directory: a leading slash does not make it
  // absolute, and repeated or backslash separators collapse.
  const Glyphmint s =
      read_settings(write("a.glyphmint.ini", "path = /sub\\\\x.ttf\n"
                                             "sizes = []\nranges = []\nchars = []\n"));
  EXPECT_TRUE(s.font.view() == StrView((dir_ + "/sub/x.ttf").c_str()));

  const Glyphmint no_path =
      read_settings(write("b.glyphmint.ini", "sizes = []\nranges = []\nchars = []\n"));
  EXPECT_TRUE(no_path.font.view() == StrView(dir_.c_str()));
}

TEST_F(SettingsFile, ReportsTheFirstBadKeyInReadingOrder) {
  EXPECT_EQ(read_error("ranges = [1]\nchars = []\n"), "No value"); // sizes missing
  EXPECT_EQ(read_error("sizes = [16,24]\nchars = oops\n"), "Cannot parse string: [16,24]");
  EXPECT_EQ(read_error("sizes = []\nranges = [-1-5]\nchars = oops\n"),
            "Cannot parse string: [-1-5]");
  EXPECT_EQ(read_error("sizes = []\nranges = []\nchars = [0x41]\n"), "Cannot parse string: [0x41]");
  EXPECT_EQ(read_error("sizes = []\nranges = []\n"), "No value");
  // An empty value is present but malformed.
  EXPECT_EQ(read_error("sizes =\nranges = []\nchars = []\n"), "Cannot parse string: ");
}

TEST_F(SettingsFile, RenderModeAndSpread) {
  const std::string base = "sizes = []\nranges = []\nchars = []\n";
  struct Row {
    const char *keys;
    RenderMode render;
    i32 spread;
    const char *error; // empty when the file is sound
  };
  const Row rows[] = {
      {"", RenderMode::Coverage, 0, ""},
      {"render = coverage\n", RenderMode::Coverage, 0, ""},
      {"RENDER = mono\n", RenderMode::Mono, 0, ""},
      {"render = sdf\n", RenderMode::Sdf, 4, ""},
      {"render = sdf\nSpread = 32\n", RenderMode::Sdf, 32, ""},
      {"spread = 2\nrender = sdf\n", RenderMode::Sdf, 2, ""},
      {"render = msdf\n", RenderMode::Msdf, 4, ""},
      {"render = mtsdf\nspread = 8\n", RenderMode::Mtsdf, 8, ""},
      {"render = color\n", RenderMode::Color, 0, ""},
      {"render = SDF\n", {}, 0, "Cannot parse string: SDF (render is coverage, mono, sdf, msdf, mtsdf or color)"},
      {"render =\n", {}, 0, "Cannot parse string:  (render is coverage, mono, sdf, msdf, mtsdf or color)"},
      {"render = sdf\nspread = 1\n", {}, 0,
       "Cannot parse string: 1 (spread is an integer from 2 to 32)"},
      {"render = sdf\nspread = 33\n", {}, 0,
       "Cannot parse string: 33 (spread is an integer from 2 to 32)"},
      {"render = sdf\nspread = 4.5\n", {}, 0,
       "Cannot parse string: 4.5 (spread is an integer from 2 to 32)"},
      {"spread = 4\n", {}, 0, "Cannot parse string: 4 (spread goes with render = sdf, msdf or mtsdf)"},
      {"render = mono\nspread = 4\n", {}, 0,
       "Cannot parse string: 4 (spread goes with render = sdf, msdf or mtsdf)"},
      {"render = color\nspread = 4\n", {}, 0,
       "Cannot parse string: 4 (spread goes with render = sdf, msdf or mtsdf)"},
      {"render = colour\n", {}, 0,
       "Cannot parse string: colour (render is coverage, mono, sdf, msdf, mtsdf or color)"},
      {"shaped = yes\n", {}, 0, "Cannot parse string: yes (shaped is true or false)"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.keys);
    const std::string text = base + row.keys;
    if (*row.error != '\0') {
      EXPECT_EQ(read_error(text), row.error);
      continue;
    }
    const Glyphmint s = read_settings(write("a.glyphmint.ini", text));
    EXPECT_EQ(s.render, row.render);
    EXPECT_EQ(s.spread, row.spread);
    EXPECT_FALSE(s.shaped);
  }
  EXPECT_TRUE(read_settings(write("a.glyphmint.ini", base + "shaped = true\n")).shaped);
}

TEST_F(SettingsFile, KeysUnderASectionHeaderAreNotSettings) {
  EXPECT_EQ(read_error("[Glyphmint]\nsizes = [16]\nranges = []\nchars = []\n"), "No value");
}

TEST_F(SettingsFile, TrailingBlanksOfALineNeverReachTheParser) {
  const Glyphmint s = read_settings(write("a.glyphmint.ini", "sizes = [16]   \r\n"
                                                             "ranges = [65-67]\t\r\n"
                                                             "chars = []"));
  EXPECT_EQ(to_vector(s.sizes), (std::vector<int>{16}));
  EXPECT_EQ(to_vector(s.ranges), (std::vector<std::pair<int, int>>{{65, 67}}));
}

TEST_F(SettingsFile, MissingFileNamesItsPath) {
  const std::string missing = dir_ + "/missing.glyphmint.ini";
  try {
    (void)read_settings(Path(StrView(missing.c_str())));
    FAIL() << "read a missing file";
  } catch (const Err &e) {
    EXPECT_EQ(message_of(e), "Cannot open file " + missing + " (mode: rb)");
  }
}

} // namespace
