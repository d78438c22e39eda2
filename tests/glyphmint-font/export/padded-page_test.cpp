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

// Reads back p.text and its pages in `dir`: each char of `fnt` (the first
// record of a code point) on its page, its bitmap from the atlas at the
// padding's place, the padding transparent, rectangles the spacing apart and
// from the edges; every page scaleW x scaleH.
void expect_glyphs_on_their_pages(const support::FntFile &fnt, const std::vector<u8> &atlas, int aw,
                                  npm::Parsed text, const std::string &dir, const long (&room)[6]) {
  const long up = room[0], right = room[1], down = room[2], left = room[3], sh = room[4],
             sv = room[5];
  const long pw = std::stol(text["common.scaleW"]), ph = std::stol(text["common.scaleH"]);
  std::vector<std::vector<u8>> pages;
  for (long i = 0; i < std::stol(text["common.pages"]); ++i) {
    const std::string name = text["pages." + std::to_string(i)];
    int w = 0, h = 0;
    pages.push_back(decode(dir + "/" + name.substr(1, name.size() - 2), w, h));
    EXPECT_TRUE(w == pw && h == ph) << "page " << i << " is " << w << "x" << h;
  }
  // Each rectangle with the spacing at its right and bottom claims its
  // pixels: one claimed twice, or outside the page less the spacing at its
  // left and top, lies too close.
  std::vector<std::vector<int>> claims(pages.size(), std::vector<int>(std::size_t(pw * ph)));
  long wrong = 0, close = 0;
  std::set<i32> seen;
  for (const gm_glyph &g : fnt.records) {
    if (!seen.insert(g.code).second) continue; // a code point's first record is exported
    const std::string c = "chars." + std::to_string(seen.size() - 1) + ".";
    const auto at = [&](const char *k) {
      return std::stol(text.count(c + k) ? text[c + k] : "-9");
    };
    const long x = at("x"), y = at("y"), w = at("width"), h = at("height"), page = at("page");
    EXPECT_EQ((std::vector<long>{at("id"), w, h, at("xoffset"), at("yoffset"), at("xadvance")}),
              (std::vector<long>{g.code, g.width + left + right, g.rows + up + down,
                                 g.bearing_x - left, fnt.ascender - g.bearing_y - up, g.advance}));
    if (page < 0 || page >= long(pages.size()) || pages[std::size_t(page)].empty()) {
      ADD_FAILURE() << "code point " << g.code << " on page " << page;
      continue;
    }
    for (long r = 0; w > 0 && h > 0 && r < h + sv; ++r)
      for (long col = 0; col < w + sh; ++col) {
        const long px = x + col, py = y + r, bx = col - left, by = r - up;
        if (px < sh || py < sv || px >= pw || py >= ph) {
          ++close;
          continue;
        }
        close += claims[std::size_t(page)][std::size_t(py * pw + px)]++ != 0;
        const bool inner = bx >= 0 && by >= 0 && bx < long(g.width) && by < long(g.rows);
        if (r < h && col < w)
          wrong += pages[std::size_t(page)][std::size_t(py * pw + px)] !=
                   (inner ? atlas[std::size_t((g.y + 1 + by) * aw + g.x + 1 + bx)] : 0);
      }
  }
  EXPECT_EQ(wrong, 0) << "pixels that are not the bitmap in transparent padding";
  EXPECT_EQ(close, 0) << "pixels of rectangles closer than the spacing";
}

// Every form read back by its npm parser, compared with the text form's.
// parse-bmfont-xml keeps only the first page's name: the XML's own page
// lines are counted instead.
npm::Parsed read_every_form(const std::string &dir) {
  npm::Parsed text = npm::read_with_npm("text", dir + "/p.text");
  for (const std::string form : {"xml", "binary", "json"}) {
    npm::Parsed parsed = npm::read_with_npm(form, dir + "/p." + form);
    const long pages = std::stol(text.count("common.pages") ? text["common.pages"] : "0");
    if (form == "xml") {
      const std::string xml = support::read_file(dir + "/p.xml");
      for (long i = 1; i < pages; ++i) {
        const std::string id = std::to_string(i);
        EXPECT_NE(xml.find("<page id=\"" + id + "\" file=" + text["pages." + id] + "/>"),
                  std::string::npos)
            << "page " << id;
        parsed["pages." + id] = text["pages." + id];
      }
    }
    EXPECT_EQ(npm::differences(parsed, text), "") << form << " differs from the text form";
  }
  return text;
}

TEST(PaddedPage, GlyphsSitInTheirRectanglesWithRoomAround) {
  struct Row {
    std::vector<std::string> options;
    long room[6]; // padding up, right, down, left; spacing h, v
    long pages;   // 1, or at least that many
  };
  const Row rows[] = {
      {{"--padding", "2"}, {2, 2, 2, 2, 0, 0}, 1},
      {{"--padding", "1,2,3,4", "--spacing", "3"}, {1, 2, 3, 4, 3, 3}, 1},
      {{"--spacing", "0,5"}, {0, 0, 0, 0, 0, 5}, 1},
      {{"--padding", "0"}, {0, 0, 0, 0, 0, 0}, 1},
      {{"--padding", "64,0,0,0", "--spacing", "0,64"}, {64, 0, 0, 0, 0, 64}, 1},
      // Alone, the page size keeps the atlas's 2,2; past 10 pages names are _00 on.
      {{"--page-size", "128"}, {0, 0, 0, 0, 2, 2}, 2},
      {{"--page-size", "64x128", "--padding", "4"}, {4, 4, 4, 4, 0, 0}, 11},
  };
  const std::string fnt_path = baked_sans::bake().root.path() + "/fonts/DejaVuSans-16.fnt";
  support::FntFile fnt;
  std::string why;
  ASSERT_TRUE(support::parse_fnt(support::read_file(fnt_path), fnt, why)) << why;
  int aw = 0, ah = 0;
  const std::vector<u8> atlas =
      decode(baked_sans::bake().root.path() + "/fonts/" + fnt.image, aw, ah);
  for (const Row &row : rows) {
    SCOPED_TRACE(row.options[0] + " " + row.options[1]);
    const support::ScratchDir out;
    for (const std::string form : {"text", "xml", "binary", "json"}) {
      std::vector<std::string> args = {"export", "--page", "grey"};
      args.insert(args.end(), row.options.begin(), row.options.end());
      args.insert(args.end(), {fnt_path, form, out.path() + "/p." + form});
      const support::RunResult r = baked_sans::font_tool(args, out.path());
      ASSERT_TRUE(r.exit_code == 0 && r.err.find(" pages") == std::string::npos) << r;
    }
    npm::Parsed text = read_every_form(out.path());
    const long pages = std::stol(text["common.pages"]);
    EXPECT_TRUE(row.pages == 1 ? pages == 1 : pages >= row.pages) << pages << " pages";
    EXPECT_EQ(text["pages.0"], pages > 10 ? "\"p_00.png\"" : "\"p_0.png\"");
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(text[(i < 4 ? "info.padding." : "info.spacing.") + std::to_string(i % 4)],
                std::to_string(row.room[i]));
    expect_glyphs_on_their_pages(fnt, atlas, aw, text, out.path(), row.room);
  }
  const support::ScratchDir out;
  const support::RunResult r =
      baked_sans::font_tool({"export", "--page-size", "128", "--padding", "64", "--spacing", "64",
                             fnt_path, "text", out.path() + "/f.fnt"},
                            out.path());
  EXPECT_TRUE(r.exit_code == 1 && support::tree(out.path()).empty()) << r;
  EXPECT_NE(r.err.find("fit no page up to 128x128; nothing was written"), std::string::npos);
}

TEST(PaddedPage, AWholeCjkFontGoesOnSeveralPagesOfTheLargestSize) {
  const support::ScratchDir dir;
  const std::string fonts = dir.path() + "/fonts", out = dir.path() + "/out";
  ASSERT_TRUE(std::filesystem::create_directory(fonts) && std::filesystem::create_directory(out));
  std::filesystem::create_symlink(support::k_cjk, fonts + "/CJK.ttc");
  const support::RunResult charset =
      baked_sans::font_tool({"charset", "--font", fonts + "/CJK.ttc", "--all"}, dir.path());
  ASSERT_EQ(charset.exit_code, 0) << charset;
  support::write_file(fonts + "/CJK.glyphmint.ini", "path = CJK.ttc\nsizes = [10]\n" + charset.out);
  const support::RunResult bake =
      support::run_program(GLYPHMINT_EXE, {"--dir", fonts}, dir.path(), dir.path());
  ASSERT_EQ(bake.exit_code, 0) << bake;

  const support::RunResult r =
      baked_sans::font_tool({"export", "--page", "grey", "--padding", "3", fonts + "/CJK-10.fnt",
                             "text", out + "/p.text"},
                            dir.path());
  ASSERT_EQ(r.exit_code, 0) << r;
  npm::Parsed text = npm::read_with_npm("text", out + "/p.text");
  EXPECT_EQ(r.err, "glyphmint-font: " + out + "/p.text: the glyphs fit no one page of 2048x4096; " +
                       "written on " + text["common.pages"] + " pages\n");
  EXPECT_EQ(text["common.scaleW"] + "x" + text["common.scaleH"], "2048x4096");
  support::FntFile fnt;
  std::string why;
  ASSERT_TRUE(support::parse_fnt(support::read_file(fonts + "/CJK-10.fnt"), fnt, why)) << why;
  int aw = 0, ah = 0;
  const std::vector<u8> atlas = decode(fonts + "/CJK-10.png", aw, ah);
  expect_glyphs_on_their_pages(fnt, atlas, aw, text, out, {3, 3, 3, 3, 0, 0});
}

} // namespace
