// export --padding and --spacing, read back with the npm parsers and checked
// against the tests' own reading of the bake: each glyph's bitmap at its
// rectangle's inner place, the padding transparent, the rectangles the
// spacing apart and away from the page's edges, the offsets moved.
#include "tests/glyphmint-font/baked-sans.h"
#include "tests/support/npm-parsers.h"

#include <array>
#include <stb_image.h>

namespace {

struct Grey {
  int width = 0, height = 0, channels = 0;
  std::vector<u8> pixels;
  explicit Grey(const std::string &path) {
    u8 *p = stbi_load(path.c_str(), &width, &height, &channels, 1);
    if (p != nullptr) pixels.assign(p, p + width * height);
    stbi_image_free(p);
  }
  [[nodiscard]] long at(long x, long y) const { return pixels.at(std::size_t(y * width + x)); }
};

TEST(PaddedPage, GlyphsSitInTheirRectanglesWithRoomAround) {
  struct Row {
    std::vector<std::string> options;
    long up, right, down, left, h, v; // up -1: no page holds them
  };
  const Row rows[] = {
      {{"--padding", "2"}, 2, 2, 2, 2, 0, 0},
      {{"--padding", "1,2,3,4", "--spacing", "3"}, 1, 2, 3, 4, 3, 3},
      {{"--spacing", "0,5"}, 0, 0, 0, 0, 0, 5},
      {{"--padding", "0"}, 0, 0, 0, 0, 0, 0},
      {{"--padding", "64,0,0,0", "--spacing", "0,64"}, 64, 0, 0, 0, 0, 64},
      {{"--padding", "64", "--spacing", "64"}, -1, 0, 0, 0, 0, 0},
  };
  const std::string fnt_path = baked_sans::bake().root.path() + "/fonts/DejaVuSans-16.fnt";
  support::FntFile fnt;
  std::string why;
  ASSERT_TRUE(support::parse_fnt(support::read_file(fnt_path), fnt, why)) << why;
  const Grey atlas(baked_sans::bake().root.path() + "/fonts/" + fnt.image);
  for (const Row &row : rows) {
    SCOPED_TRACE(row.options[1]);
    const support::ScratchDir out;
    npm::Parsed text;
    for (const std::string form : {"text", "xml", "binary", "json"}) {
      std::vector<std::string> args = {"export", "--page", "grey"};
      args.insert(args.end(), row.options.begin(), row.options.end());
      args.insert(args.end(), {fnt_path, form, out.path() + "/p." + form});
      const support::RunResult r = baked_sans::font_tool(args, out.path());
      if (row.up < 0) {
        EXPECT_NE(r.err.find("fit no page up to 2048x4096; nothing was written"),
                  std::string::npos);
        EXPECT_EQ(r.exit_code, 1) << r;
        EXPECT_EQ(support::tree(out.path()), std::set<std::string>{}) << "written";
        break;
      }
      ASSERT_EQ(r.exit_code, 0) << r;
      const npm::Parsed parsed = npm::read_with_npm(form, out.path() + "/p." + form);
      if (text.empty()) text = parsed;
      EXPECT_EQ(npm::differences(parsed, text), "") << form << " differs from the text form";
    }
    if (row.up < 0) continue;
    const long want_info[] = {row.up, row.right, row.down, row.left, row.h, row.v};
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(text[(i < 4 ? "info.padding." : "info.spacing.") + std::to_string(i % 4)],
                std::to_string(want_info[i]));
    const Grey page(out.path() + "/p_0.png");
    std::vector<std::array<long, 4>> rects;
    std::set<i32> seen;
    for (const gm_glyph &g : fnt.records) {
      if (!seen.insert(g.code).second) continue; // a code point's first record is exported
      const std::string c = "chars." + std::to_string(seen.size() - 1) + ".";
      const auto at = [&](const char *key) {
        return std::stol(text.count(c + key) ? text[c + key] : "-9");
      };
      const long x = at("x"), y = at("y"), w = at("width"), h = at("height");
      EXPECT_EQ((std::vector<long>{at("id"), w, h, at("xoffset"), at("yoffset"), at("xadvance")}),
                (std::vector<long>{g.code, g.width + row.left + row.right,
                                   g.rows + row.up + row.down, g.bearing_x - row.left,
                                   fnt.ascender - g.bearing_y - row.up, g.advance}));
      ASSERT_TRUE(x >= row.h && y >= row.v && x + w + row.h <= page.width &&
                  y + h + row.v <= page.height)
          << c << " lies within the spacing of the page's edge";
      long wrong = 0;
      for (long r = 0; r < h; ++r)
        for (long col = 0; col < w; ++col) {
          const long bx = col - row.left, by = r - row.up;
          const bool inner = bx >= 0 && by >= 0 && bx < long(g.width) && by < long(g.rows);
          wrong += page.at(x + col, y + r) != (inner ? atlas.at(g.x + 1 + bx, g.y + 1 + by) : 0);
        }
      EXPECT_EQ(wrong, 0) << c << " differs from the bitmap in transparent padding";
      if (w > 0 && h > 0) rects.push_back({x, y, w, h});
    }
    long close = 0; // pairs that no spacing keeps apart on either axis
    for (std::size_t i = 0; i < rects.size(); ++i)
      for (std::size_t j = i + 1; j < rects.size(); ++j) {
        const auto &[ax, ay, aw, ah] = rects[i];
        const auto &[bx, by, bw, bh] = rects[j];
        close += ax + aw + row.h > bx && bx + bw + row.h > ax && ay + ah + row.v > by &&
                 by + bh + row.v > ay;
      }
    EXPECT_EQ(close, 0);
  }
}

} // namespace
