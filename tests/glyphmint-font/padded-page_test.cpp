// export --padding and --spacing: the page packed anew, read back with the npm
// parsers and checked against the tests' own reading of the bake: each glyph's
// bitmap at its rectangle's inner place, the padding transparent, rectangles
// the spacing apart and away from the page's edges, the offsets moved.
#include "tests/glyphmint-font/baked-sans.h"
#include "tests/support/npm-parsers.h"

#include <stb_image.h>
#include <stb_image_write.h>

namespace {

using baked_sans::bake;
using baked_sans::font_tool;
using support::RunResult;
using support::ScratchDir;

struct Room {
  long up, right, down, left, h, v;
};

struct Grey {
  int width = 0;
  int height = 0;
  std::vector<u8> pixels;
  [[nodiscard]] u8 at(long x, long y) const { return pixels[std::size_t(y * width + x)]; }
};

Grey decode(const std::string &path) {
  Grey image;
  int channels = 0;
  u8 *p = stbi_load(path.c_str(), &image.width, &image.height, &channels, 1);
  if (p == nullptr) ADD_FAILURE() << path << ": " << stbi_failure_reason();
  if (p != nullptr) image.pixels.assign(p, p + image.width * image.height);
  stbi_image_free(p);
  return image;
}

struct Rect {
  long x, y, w, h;
};

// The char's fields against its record, and its pixels against the atlas's.
Rect expect_char(const npm::Parsed &parsed, int index, const gm_glyph &g, i32 ascender,
                 const Room &room, const Grey &atlas, const Grey &page) {
  const std::string c = "chars." + std::to_string(index) + ".";
  const auto field = [&](const char *key) {
    const auto it = parsed.find(c + key);
    return it == parsed.end() ? -99999 : std::stol(it->second);
  };
  const Rect r{field("x"), field("y"), field("width"), field("height")};
  EXPECT_EQ(field("id"), g.code);
  EXPECT_EQ(r.w, long(g.width) + room.left + room.right) << c;
  EXPECT_EQ(r.h, long(g.rows) + room.up + room.down) << c;
  EXPECT_EQ(field("xoffset"), g.bearing_x - room.left) << c;
  EXPECT_EQ(field("yoffset"), ascender - g.bearing_y - room.up) << c;
  EXPECT_EQ(field("xadvance"), g.advance) << c;
  EXPECT_TRUE(r.x >= room.h && r.y >= room.v && r.x + r.w + room.h <= page.width &&
              r.y + r.h + room.v <= page.height)
      << c << " lies within the spacing of the page's edge";
  if (testing::Test::HasFailure()) return r;
  long wrong = 0;
  for (long y = 0; y < r.h; ++y)
    for (long x = 0; x < r.w; ++x) {
      const long bx = x - room.left;
      const long by = y - room.up;
      const bool in_bitmap = bx >= 0 && by >= 0 && bx < long(g.width) && by < long(g.rows);
      wrong += page.at(r.x + x, r.y + y) != (in_bitmap ? atlas.at(g.x + 1 + bx, g.y + 1 + by) : 0);
    }
  EXPECT_EQ(wrong, 0) << c << " pixels differ from the bitmap and its transparent padding";
  return r;
}

// Two rectangles with pixels lie the spacing apart on one axis at least.
void expect_apart(const std::vector<Rect> &rects, const Room &room) {
  long close = 0;
  for (std::size_t i = 0; i < rects.size(); ++i)
    for (std::size_t j = i + 1; j < rects.size(); ++j) {
      const Rect &a = rects[i];
      const Rect &b = rects[j];
      close += a.x + a.w + room.h > b.x && b.x + b.w + room.h > a.x && a.y + a.h + room.v > b.y &&
               b.y + b.h + room.v > a.y;
    }
  EXPECT_EQ(close, 0) << "pairs of rectangles closer than the spacing";
}

TEST(PaddedPage, EveryGlyphSitsInItsRectangleWithRoomAround) {
  struct Row {
    std::vector<std::string> options;
    Room room;
  };
  const Row rows[] = {
      {{"--padding", "2"}, {2, 2, 2, 2, 0, 0}},
      {{"--padding", "1,2,3,4", "--spacing", "3"}, {1, 2, 3, 4, 3, 3}},
      {{"--spacing", "0,5"}, {0, 0, 0, 0, 0, 5}},
      {{"--padding", "0"}, {0, 0, 0, 0, 0, 0}},
      {{"--padding", "64,0,0,0", "--spacing", "0,64"}, {64, 0, 0, 0, 0, 64}},
  };
  support::FntFile fnt;
  std::string why;
  const std::string fnt_path = bake().root.path() + "/fonts/DejaVuSans-16.fnt";
  ASSERT_TRUE(support::parse_fnt(support::read_file(fnt_path), fnt, why)) << why;
  const Grey atlas = decode(bake().root.path() + "/fonts/" + fnt.image);
  for (const Row &row : rows) {
    SCOPED_TRACE(row.options[1]);
    ScratchDir out;
    npm::Parsed text;
    for (const std::string form : {"text", "xml", "binary", "json"}) {
      std::vector<std::string> args = {"export", "--page", "grey"};
      args.insert(args.end(), row.options.begin(), row.options.end());
      args.insert(args.end(), {fnt_path, form, out.path() + "/p." + form});
      const RunResult r = font_tool(args, out.path());
      ASSERT_EQ(r.exit_code, 0) << r;
      const npm::Parsed parsed = npm::read_with_npm(form, out.path() + "/p." + form);
      if (text.empty()) text = parsed;
      EXPECT_EQ(npm::differences(parsed, text), "") << form << " differs from the text form";
    }
    const Room &room = row.room;
    const long want_info[] = {room.up, room.right, room.down, room.left, room.h, room.v};
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(text[(i < 4 ? "info.padding." : "info.spacing.") + std::to_string(i % 4)],
                std::to_string(want_info[i]));
    const Grey page = decode(out.path() + "/p_0.png");
    EXPECT_EQ(text["common.scaleW"], std::to_string(page.width));
    std::set<i32> seen;
    std::vector<Rect> rects;
    for (const gm_glyph &g : fnt.records) {
      if (!seen.insert(g.code).second) continue; // a code point's first record is exported
      const Rect r = expect_char(text, int(seen.size() - 1), g, fnt.ascender, room, atlas, page);
      if (r.w > 0 && r.h > 0) rects.push_back(r);
      if (testing::Test::HasFailure()) break;
    }
    expect_apart(rects, room);
  }
}

TEST(PaddedPage, TheLargestPageIs2048x4096AndAFieldAddsItsSpread) {
  // One glyph 1990 pixels wide in a distance field of spread 3.
  ScratchDir dir;
  const std::string d = dir.path();
  support::write_file(
      d + "/wide-16.fnt",
      support::fnt_bytes({"wide-16.png", 20, 16, 15, -4, {{65, 1990, 1, 0, 10, 0, 0, 8, 3}}}));
  const std::vector<u8> zeros(1992 * 3);
  ASSERT_NE(stbi_write_png((d + "/wide-16.png").c_str(), 1992, 3, 1, zeros.data(), 1992), 0);
  struct Row {
    const char *padding;
    const char *spacing;
    const char *message; // empty: written, 2048 wide
  };
  const Row rows[] = {{"0,29,0,29", "0", ""},
                      {"0,30,0,30", "0",
                       "wide-16.fnt: its glyphs with this padding and spacing "
                       "fit no page up to 2048x4096; nothing was written"},
                      {"0,29,0,29", "1", "fit no page up to 2048x4096"}};
  for (const Row &row : rows) {
    SCOPED_TRACE(std::string(row.padding) + " " + row.spacing);
    ScratchDir out;
    const RunResult r = font_tool({"export", "--padding", row.padding, "--spacing", row.spacing,
                                   d + "/wide-16.fnt", "json", out.path() + "/w.json"},
                                  out.path());
    if (*row.message == '\0') {
      ASSERT_EQ(r.exit_code, 0) << r;
      npm::Parsed parsed = npm::read_with_npm("json", out.path() + "/w.json");
      EXPECT_EQ(parsed["common.scaleW"] + " " + parsed["info.padding.1"], "2048 32");
      continue;
    }
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r;
    EXPECT_EQ(support::tree(out.path()), std::set<std::string>{})
        << "a refused export wrote something";
  }
}

} // namespace
