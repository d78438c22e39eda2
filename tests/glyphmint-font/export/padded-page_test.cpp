// export --padding and --spacing, read back with the npm parsers and checked
// against the tests' own reading of the bake: each glyph's bitmap at its
// rectangle's inner place, the padding transparent, the rectangles the
// spacing apart and away from the page's edges, the offsets moved.
#include "tests/glyphmint-font/baked-sans.h"
#include "tests/support/npm-parsers.h"

#include <stb_image.h>

namespace {

std::vector<u8> decode(const std::string &path, int &width, int &height) {
  int channels = 0;
  u8 *p = stbi_load(path.c_str(), &width, &height, &channels, 1);
  std::vector<u8> pixels(p, p + (p ? width * height : 0));
  stbi_image_free(p);
  return pixels;
}

TEST(PaddedPage, GlyphsSitInTheirRectanglesWithRoomAround) {
  struct Row {
    std::vector<std::string> options;
    long up, right, down, left, h, v;
    long pages = 1; // 1, or at least that many
    std::string font = "DejaVuSans-16";
    long spread = 0; // a field's, which its info padding adds
  };
  const Row rows[] = {
      {{"--padding", "2"}, 2, 2, 2, 2, 0, 0},
      {{"--padding", "1,2,3,4", "--spacing", "3"}, 1, 2, 3, 4, 3, 3},
      {{"--spacing", "0,5"}, 0, 0, 0, 0, 0, 5},
      {{"--padding", "0"}, 0, 0, 0, 0, 0, 0},
      {{"--padding", "64,0,0,0", "--spacing", "0,64"}, 64, 0, 0, 0, 0, 64},
      {{"--padding", "2,0,1,4", "--spacing", "1"}, 2, 0, 1, 4, 1, 1, 1, "DejaVuSans-SDF-16", 3},
      // Alone, a page size keeps the atlas's 2,2; past 10 pages names are _00 on.
      {{"--page-size", "128"}, 0, 0, 0, 0, 2, 2, 2},
      {{"--page-size", "64x128", "--padding", "4"}, 4, 4, 4, 4, 0, 0, 11},
      // No 2048x4096 page holds them: several of that size, and a note.
      {{"--padding", "64", "--spacing", "64"}, 64, 64, 64, 64, 64, 64, 2},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.font + " " + row.options[1]);
    const std::string fnt_path = baked_sans::bake().root.path() + "/fonts/" + row.font + ".fnt";
    support::FntFile fnt;
    std::string why;
    ASSERT_TRUE(support::parse_fnt(support::read_file(fnt_path), fnt, why)) << why;
    int aw = 0, ah = 0;
    const std::vector<u8> atlas =
        decode(baked_sans::bake().root.path() + "/fonts/" + fnt.image, aw, ah);
    const support::ScratchDir out;
    npm::Parsed text;
    for (const std::string form : {"text", "xml", "binary", "json"}) {
      std::vector<std::string> args = {"export", "--page", "grey"};
      args.insert(args.end(), row.options.begin(), row.options.end());
      args.insert(args.end(), {fnt_path, form, out.path() + "/p." + form});
      const support::RunResult r = baked_sans::font_tool(args, out.path());
      ASSERT_EQ(r.exit_code, 0) << r;
      EXPECT_EQ(r.err.find("fit no one page of 2048x4096; written on ") != std::string::npos,
                row.pages > 1 && row.options[0] != "--page-size")
          << r;
      npm::Parsed parsed = npm::read_with_npm(form, out.path() + "/p." + form);
      parsed.erase("distanceField.fieldType"); // which the text and binary forms lack
      parsed.erase("distanceField.distanceRange");
      if (text.empty()) text = parsed;
      // parse-bmfont-xml returns the first page's name only: the XML's are read.
      for (long i = 1; form == "xml" && i < std::stol(text["common.pages"]); ++i) {
        const std::string id = std::to_string(i), line = "<page id=\"" + id + "\" file=";
        const std::string xml = support::read_file(out.path() + "/p.xml");
        parsed["pages." + id] =
            xml.substr(xml.find(line) + line.size(), text["pages." + id].size());
      }
      EXPECT_EQ(npm::differences(parsed, text), "") << form << " differs from the text form";
    }
    const long want_info[] = {row.spread + row.up,
                              row.spread + row.right,
                              row.spread + row.down,
                              row.spread + row.left,
                              row.h,
                              row.v};
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(text[(i < 4 ? "info.padding." : "info.spacing.") + std::to_string(i % 4)],
                std::to_string(want_info[i]));
    const long pages = std::stol(text["common.pages"]);
    EXPECT_TRUE(row.pages == 1 ? pages == 1 : pages >= row.pages) << pages << " pages";
    EXPECT_EQ(text["pages.0"], pages > 10 ? "\"p_00.png\"" : "\"p_0.png\"");
    const long pw = std::stol(text["common.scaleW"]), ph = std::stol(text["common.scaleH"]);
    std::vector<std::vector<u8>> page;
    for (long i = 0; i < pages; ++i) {
      const std::string name = text["pages." + std::to_string(i)];
      int w = 0, h = 0;
      page.push_back(decode(out.path() + "/" + name.substr(1, name.size() - 2), w, h));
      EXPECT_TRUE(w == pw && h == ph) << "page " << i << " is " << w << "x" << h;
    }
    // Each rectangle with the spacing at its right and bottom claims its
    // pixels: one claimed twice, or outside the page less the spacing at its
    // left and top, lies too close.
    std::vector<std::vector<int>> claims(page.size(), std::vector<int>(std::size_t(pw * ph)));
    long wrong = 0, close = 0;
    std::set<i32> seen;
    for (const gm_glyph &g : fnt.records) {
      if (!seen.insert(g.code).second) continue; // a code point's first record is exported
      const std::string c = "chars." + std::to_string(seen.size() - 1) + ".";
      const auto at = [&](const char *k) {
        return std::stol(text.count(c + k) ? text[c + k] : "-9");
      };
      const long x = at("x"), y = at("y"), w = at("width"), h = at("height"), p = at("page");
      EXPECT_EQ((std::vector<long>{at("id"), w, h, at("xoffset"), at("yoffset"), at("xadvance")}),
                (std::vector<long>{g.code, g.width + row.left + row.right,
                                   g.rows + row.up + row.down, g.bearing_x - row.left,
                                   fnt.ascender - g.bearing_y - row.up, g.advance}));
      if (p < 0 || p >= pages) {
        ADD_FAILURE() << "code point " << g.code << " on page " << p;
        continue;
      }
      for (long r = 0; w > 0 && h > 0 && r < h + row.v; ++r)
        for (long col = 0; col < w + row.h; ++col) {
          const long px = x + col, py = y + r, bx = col - row.left, by = r - row.up;
          if (px < row.h || py < row.v || px >= pw || py >= ph) {
            ++close;
            continue;
          }
          close += claims[std::size_t(p)][std::size_t(py * pw + px)]++ != 0;
          const bool inner = bx >= 0 && by >= 0 && bx < long(g.width) && by < long(g.rows);
          if (r < h && col < w)
            wrong += page[std::size_t(p)][std::size_t(py * pw + px)] !=
                     (inner ? atlas[std::size_t((g.y + 1 + by) * aw + g.x + 1 + bx)] : 0);
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels that are not the bitmap in transparent padding";
    EXPECT_EQ(close, 0) << "pixels of rectangles closer than the spacing";
  }
  const support::ScratchDir out;
  const support::RunResult r = baked_sans::font_tool(
      {"export", "--page-size", "128", "--padding", "64", "--spacing", "64",
       baked_sans::bake().root.path() + "/fonts/DejaVuSans-16.fnt", "text", out.path() + "/f.fnt"},
      out.path());
  EXPECT_TRUE(r.exit_code == 1 && support::tree(out.path()).empty()) << r;
  // The space, a 0x0 bitmap, is 128 pixels square with its padding, and the
  // spacing on both sides makes it 256.
  EXPECT_NE(r.err.find(": the glyph of U+0020 takes 256x256 pixels with this padding and spacing, "
                       "more than the page of 128x128; nothing was written"),
            std::string::npos)
      << r;
}

} // namespace
