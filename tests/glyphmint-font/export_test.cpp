// glyphmint-font export, checked by the consumers people use: every form is
// read by the npm parser that engines' and web projects' users install
// (JSON.parse for JSON) and compared with the .fnt as the tests' own reader
// sees it, under the mapping the command documents.
#include "tests/support/npm-parsers.h"
#include "tools/glyphmint-font/export/baked-to-bmfont.h"
#include "tools/glyphmint-font/export/bmfont.h"
#include "tools/glyphmint-font/kerning/kerning.h"

#include <stb_image.h>
#include <stb_image_write.h>

namespace {

using npm::differences;
using npm::Parsed;
using npm::read_with_npm;
using support::entry_exists;
using support::read_file;
using support::run_program;
using support::RunResult;
using support::ScratchDir;
using support::write_file;

const std::vector<std::string> k_forms = {"text", "xml", "binary", "json"};

/// What every parser must return for a baked font, from the .fnt as the
/// tests' reader sees it.
Parsed expected_object(const support::FntFile &fnt, int atlas_w, int atlas_h,
                       const std::string &page, bool grey) {
  const auto n = [](i64 v) { return std::to_string(v); };
  const std::string ending = "-" + n(fnt.size) + ".png";
  Parsed p = {{"info.face", "\"" + fnt.image.substr(0, fnt.image.size() - ending.size()) + "\""},
              {"info.size", n(fnt.size)},
              {"info.bold", "0"},
              {"info.italic", "0"},
              {"info.charset", "\"\""},
              {"info.unicode", "1"},
              {"info.stretchH", "100"},
              {"info.smooth", "1"},
              {"info.aa", "1"},
              {"info.outline", "0"},
              // Two one-pixel frames lie between neighbouring bitmaps.
              {"info.spacing.0", "2"},
              {"info.spacing.1", "2"},
              {"common.lineHeight", n(fnt.line_height)},
              {"common.base", n(fnt.ascender)},
              {"common.scaleW", n(atlas_w)},
              {"common.scaleH", n(atlas_h)},
              {"common.pages", "1"},
              {"common.packed", "0"},
              {"common.alphaChnl", grey ? "4" : "0"},
              {"common.redChnl", grey ? "0" : "4"},
              {"common.greenChnl", grey ? "0" : "4"},
              {"common.blueChnl", grey ? "0" : "4"},
              {"pages.0", "\"" + page + "\""},
              {"kernings", "[]"}};
  for (int i = 0; i < 4; ++i) p["info.padding." + n(i)] = "0";
  std::set<i32> seen;
  int index = 0;
  for (const gm_glyph &r : fnt.records) {
    if (!seen.insert(r.code).second) continue; // the first record of a code point counts
    const std::string c = "chars." + n(index++) + ".";
    p[c + "id"] = n(r.code);
    p[c + "x"] = n(i64{r.x} + 1);
    p[c + "y"] = n(i64{r.y} + 1);
    p[c + "width"] = n(r.width);
    p[c + "height"] = n(r.rows);
    p[c + "xoffset"] = n(r.bearing_x);
    p[c + "yoffset"] = n(i64{fnt.ascender} - r.bearing_y);
    p[c + "xadvance"] = n(r.advance);
    p[c + "page"] = "0";
    p[c + "chnl"] = "15";
  }
  return p;
}

/// Loaders that read the text form by position need the reference's lines
/// and fields in its order, names quoted and every other value an integer.
void expect_reference_order(const std::string &text) {
  const std::map<std::string, std::vector<std::string>> fields = {
      {"info",
       {"face", "size", "bold", "italic", "charset", "unicode", "stretchH", "smooth", "aa",
        "padding", "spacing", "outline"}},
      {"common",
       {"lineHeight", "base", "scaleW", "scaleH", "pages", "packed", "alphaChnl", "redChnl",
        "greenChnl", "blueChnl"}},
      {"page", {"id", "file"}},
      {"chars", {"count"}},
      {"char",
       {"id", "x", "y", "width", "height", "xoffset", "yoffset", "xadvance", "page", "chnl"}},
      {"kernings", {"count"}}};
  const std::set<std::string> quoted = {"face", "charset", "file"};
  std::vector<std::string> tags;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string tag, word;
    words >> tag;
    if (tags.empty() || tags.back() != tag) tags.push_back(tag);
    ASSERT_TRUE(fields.count(tag)) << line;
    std::vector<std::string> keys;
    while (words >> word) {
      const std::size_t eq = word.find('=');
      keys.push_back(word.substr(0, eq));
      const std::string value = word.substr(eq + 1);
      const bool is_quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
      const bool is_integers = value.find_first_not_of("-0123456789,") == std::string::npos;
      EXPECT_TRUE(quoted.count(keys.back()) ? is_quoted : is_integers) << line;
    }
    EXPECT_EQ(keys, fields.at(tag)) << line;
  }
  EXPECT_EQ(tags,
            (std::vector<std::string>{"info", "common", "page", "chars", "char", "kernings"}));
}

/// The binary form's blocks: info, common (exactly 15 bytes), pages, chars,
/// and no kerning block without pairs.
void expect_binary_blocks(const std::string &bytes, std::vector<int> want_types) {
  ASSERT_EQ(bytes.substr(0, 4), std::string("BMF\x03"));
  std::vector<int> types;
  std::size_t at = 4;
  while (at + 5 <= bytes.size()) {
    const int type = static_cast<u8>(bytes[at]);
    const u32 size = static_cast<u32>(support::le_i32(bytes, at + 1));
    if (type == 2) {
      EXPECT_EQ(size, 15u) << "the common block";
    }
    types.push_back(type);
    at += 5 + size;
  }
  EXPECT_EQ(at, bytes.size());
  EXPECT_EQ(types, want_types);
}

/// An 8-bit PNG's colour type from its header (0 grey, 6 RGBA), -1 otherwise.
int png_colour_type(const std::string &png) {
  return png.size() > 25 && png.compare(12, 4, "IHDR") == 0 && png[24] == 8 ? png[25] : -1;
}

struct Image {
  int width = 0;
  int height = 0;
  std::vector<u8> pixels;
};

Image decode(const std::string &path, int channels) {
  Image image;
  int in_file = 0;
  u8 *p = stbi_load(path.c_str(), &image.width, &image.height, &in_file, channels);
  if (p == nullptr) {
    ADD_FAILURE() << path << ": " << stbi_failure_reason();
    return image;
  }
  image.pixels.assign(p, p + std::size_t(image.width) * std::size_t(image.height) *
                                 std::size_t(channels));
  stbi_image_free(p);
  return image;
}

/// A font baked once for the whole suite: DejaVu Sans at two sizes, with
/// code point 65 both in the range and among the chars, so baked twice.
struct Bake {
  ScratchDir dir;
  Bake() {
    std::filesystem::copy_file(support::k_sans, dir.path() + "/DejaVuSans.ttf");
    write_file(dir.path() + "/DejaVuSans.glyphmint.ini",
               "path = DejaVuSans.ttf\nsizes = [12, 21]\nranges = [32-126]\nchars = [65, 8364]\n");
    const RunResult r = run_program(GLYPHMINT_EXE, {"--dir", dir.path()}, dir.path(), dir.path());
    EXPECT_EQ(r.exit_code, 0) << r;
  }
  [[nodiscard]] std::string fnt(int size) const {
    return dir.path() + "/DejaVuSans-" + std::to_string(size) + ".fnt";
  }
};

const Bake &bake() {
  static const Bake b;
  return b;
}

RunResult run_export(const std::string &cwd, const std::vector<std::string> &args,
                     long file_size_limit = 0) {
  std::vector<std::string> all = {"export"};
  all.insert(all.end(), args.begin(), args.end());
  ScratchDir capture;
  return run_program(GLYPHMINT_FONT_EXE, all, cwd, capture.path(), 300, 0, file_size_limit);
}

TEST(Export, EveryFormParsesToTheBakedFont) {
  ScratchDir work;
  for (const int size : {12, 21}) {
    support::FntFile fnt;
    std::string why;
    ASSERT_TRUE(support::parse_fnt(read_file(bake().fnt(size)), fnt, why)) << why;
    const Image atlas = decode(bake().dir.path() + "/" + fnt.image, 1);
    for (const std::string &form : k_forms) {
      SCOPED_TRACE("size " + std::to_string(size) + ", form " + form);
      const std::string stem = "DejaVuSans-" + std::to_string(size) + "." + form;
      const RunResult r = run_export(work.path(), {bake().fnt(size), form, stem + ".fnt"});
      ASSERT_EQ(r.exit_code, 0) << r;
      EXPECT_NE(r.err.find("code point 65 is baked more than once"), std::string::npos) << r;

      const std::string out = work.path() + "/" + stem + ".fnt";
      const Parsed want = expected_object(fnt, atlas.width, atlas.height, stem + "_0.png", false);
      EXPECT_EQ(differences(read_with_npm(form, out), want), "");
      if (form == "text") expect_reference_order(read_file(out));
      if (form == "binary") expect_binary_blocks(read_file(out), {1, 2, 3, 4});

      const std::string page = work.path() + "/" + stem + "_0.png";
      EXPECT_EQ(png_colour_type(read_file(page)), 6);
      const Image rgba = decode(page, 4);
      ASSERT_EQ(rgba.pixels.size(), atlas.pixels.size() * 4);
      std::size_t wrong = 0;
      for (std::size_t i = 0; i < atlas.pixels.size(); ++i) {
        const u8 *px = &rgba.pixels[i * 4];
        wrong += px[0] != 255 || px[1] != 255 || px[2] != 255 || px[3] != atlas.pixels[i];
      }
      EXPECT_EQ(wrong, 0u) << "pixels not white with the atlas's coverage in alpha";
    }
  }
}

TEST(Export, KerningFromTheFontFileReachesEveryForm) {
  // The amounts are kerning_pairs' own, checked against HarfBuzz by its own
  // tests; here every parser must read exactly those pairs, and the chars
  // must stay as they were without --font but for xadvance: FreeType's
  // unhinted advance at the baked size, to the nearest pixel.
  ScratchDir work;
  support::FntFile fnt;
  std::string why;
  const std::string bytes = read_file(bake().fnt(21));
  ASSERT_TRUE(support::parse_fnt(bytes, fnt, why)) << why;
  gm_font font;
  ASSERT_EQ(gm_font_parse(&font, bytes.data(), bytes.size(), nullptr), GM_OK);
  const std::vector<KerningPair> pairs = kerning_pairs(Path(support::k_sans.c_str()), font);
  ASSERT_GT(pairs.size(), 10u) << "DejaVu Sans kerns Latin pairs";
  const Image atlas = decode(bake().dir.path() + "/" + fnt.image, 1);
  const support::RefFace face(support::k_sans, 21);
  int rounded_up = 0;
  for (gm_glyph &g : fnt.records) {
    const i32 nearest = i32(std::lround(double(face.glyph(g.code).advance_26_6) / 64.0));
    rounded_up += nearest == g.advance + 1;
    g.advance = nearest;
  }
  EXPECT_GT(rounded_up, 20) << "about half the advances round up";
  for (const std::string &form : k_forms) {
    SCOPED_TRACE(form);
    const RunResult r = run_export(
        work.path(), {"--font", support::k_sans, bake().fnt(21), form, "k-" + form + ".fnt"});
    ASSERT_EQ(r.exit_code, 0) << r;
    Parsed want = expected_object(fnt, atlas.width, atlas.height, "k-" + form + "_0.png", false);
    want.erase("kernings");
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      const std::string k = "kernings." + std::to_string(i) + ".";
      want[k + "first"] = std::to_string(pairs[i].first);
      want[k + "second"] = std::to_string(pairs[i].second);
      want[k + "amount"] = std::to_string(pairs[i].amount);
    }
    const std::string out = work.path() + "/k-" + form + ".fnt";
    EXPECT_EQ(differences(read_with_npm(form, out), want), "");
    if (form == "binary") expect_binary_blocks(read_file(out), {1, 2, 3, 4, 5});
  }
}

TEST(Export, ADistanceFieldCarriesItsPaddingAndRange) {
  ScratchDir work;
  std::filesystem::copy_file(support::k_sans, work.path() + "/Sans.ttf");
  write_file(
      work.path() + "/Sans.glyphmint.ini",
      "path = Sans.ttf\nsizes = [16]\nranges = [65-70]\nchars = []\nrender = sdf\nspread = 3\n");
  ASSERT_EQ(run_program(GLYPHMINT_EXE, {"--dir", "."}, work.path(), work.path()).exit_code, 0);
  support::FntFile fnt;
  std::string why;
  ASSERT_TRUE(support::parse_fnt(read_file(work.path() + "/Sans-16.fnt"), fnt, why)) << why;
  for (const gm_glyph &g : fnt.records) EXPECT_EQ(g.reserved, 3) << "code " << g.code;
  for (const std::string &form : k_forms) {
    SCOPED_TRACE(form);
    const std::string out = "sdf." + form;
    ASSERT_EQ(run_export(work.path(), {"Sans-16.fnt", form, out}).exit_code, 0);
    Parsed got = read_with_npm(form, work.path() + "/" + out);
    for (const char *side : {"0", "1", "2", "3"})
      EXPECT_EQ(got["info.padding." + std::string(side)], "3");
    if (form == "json") {
      EXPECT_EQ(got["distanceField.fieldType"], "\"sdf\"");
      EXPECT_EQ(got["distanceField.distanceRange"], "6");
    }
    if (form == "xml") {
      EXPECT_NE(
          read_file(work.path() + "/" + out)
              .find("/>\n  <distanceField fieldType=\"sdf\" distanceRange=\"6\"/>\n  <pages>"),
          std::string::npos);
    }
  }
}

// Its reader, info, render and export all see the colour.
TEST(Export, AColourFontIsItsOwnPageWithGlyphsInEveryChannel) {
  ScratchDir work;
  std::filesystem::copy_file("/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf",
                             work.path() + "/Emoji.ttf");
  write_file(work.path() + "/Emoji.glyphmint.ini",
             "path = Emoji.ttf\nsizes = [20]\nranges = [128512-128515]\nchars = [32]\n"
             "render = color\n");
  ASSERT_EQ(run_program(GLYPHMINT_EXE, {"--dir", "."}, work.path(), work.path()).exit_code, 0);
  const std::string bytes = read_file(work.path() + "/Emoji-20.fnt");
  gm_font font{};
  ASSERT_EQ(gm_font_parse(&font, bytes.data(), bytes.size(), nullptr), GM_OK);
  EXPECT_EQ(font.kind, GM_KIND_COLOR);
  EXPECT_EQ(font.channels, 4);
  support::FntFile fnt;
  std::string why;
  ASSERT_TRUE(support::parse_fnt(bytes, fnt, why)) << why;
  EXPECT_EQ(png_colour_type(read_file(work.path() + "/Emoji-20.png")), 6);
  const Image atlas = decode(work.path() + "/Emoji-20.png", 4);
  const RunResult info =
      run_program(GLYPHMINT_FONT_EXE, {"info", "Emoji-20.fnt"}, work.path(), work.path());
  EXPECT_NE(info.out.find("\nkind: colour\n"), std::string::npos) << info;
  // One glyph drawn twice as large over transparent: its atlas pixels as blocks.
  const RunResult render =
      run_program(GLYPHMINT_FONT_EXE, {"render", "--scale", "2", "Emoji-20.fnt", "😀", "r.png"},
                  work.path(), work.path());
  ASSERT_EQ(render.exit_code, 0) << render;
  const gm_glyph g = fnt.records.at(1);
  const Image drawn = decode(work.path() + "/r.png", 4);
  const int x0 = 2 * (g.bearing_x - std::min(0, g.bearing_x)),
            y0 = 2 * (fnt.ascender - g.bearing_y);
  long wrong = 0;
  for (int y = 0; y < drawn.height; ++y)
    for (int x = 0; x < drawn.width * 4; ++x) {
      const int gx = (x / 4 - x0) / 2, gy = (y - y0) / 2;
      const bool inside = x / 4 >= x0 && y >= y0 && gx < int(g.width) && gy < int(g.rows);
      wrong +=
          drawn.pixels[std::size_t(y * drawn.width * 4 + x)] !=
          (inside
               ? atlas
                     .pixels[std::size_t(((g.y + 1 + gy) * atlas.width + g.x + 1 + gx) * 4 + x % 4)]
               : 0);
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(png_colour_type(read_file(work.path() + "/r.png")), 6);
  for (const std::string form : {"json", "xml"}) {
    const RunResult r = run_export(work.path(), {"Emoji-20.fnt", form, "e." + form});
    ASSERT_EQ(r.exit_code, 0) << r;
    Parsed want = expected_object(fnt, atlas.width, atlas.height, "e_0.png", false);
    for (const char *channel : {"alphaChnl", "redChnl", "greenChnl", "blueChnl"})
      want["common." + std::string(channel)] = "0";
    EXPECT_EQ(differences(read_with_npm(form, work.path() + "/e." + form), want), "") << form;
    EXPECT_EQ(decode(work.path() + "/e_0.png", 4).pixels, atlas.pixels);
  }
  const RunResult grey =
      run_export(work.path(), {"--page", "grey", "Emoji-20.fnt", "xml", "g.xml"});
  EXPECT_EQ(grey.exit_code, 1);
  EXPECT_NE(grey.err.find("--page grey takes a one-channel atlas; this one has 4"),
            std::string::npos);
  ASSERT_EQ(run_export(work.path(), {"Emoji-20.fnt", "c", "e.h"}).exit_code, 0);
  const std::string c = read_file(work.path() + "/e.h");
  EXPECT_NE(c.find("  e_atlas_channels = 4\n};"), std::string::npos);
}

TEST(Export, GreyPageHoldsTheAtlasAndSaysSo) {
  ScratchDir work;
  support::FntFile fnt;
  std::string why;
  ASSERT_TRUE(support::parse_fnt(read_file(bake().fnt(12)), fnt, why)) << why;
  const RunResult r = run_export(work.path(), {"--page", "grey", bake().fnt(12), "xml", "g.xml"});
  ASSERT_EQ(r.exit_code, 0) << r;
  const Image atlas = decode(bake().dir.path() + "/" + fnt.image, 1);
  EXPECT_EQ(differences(read_with_npm("xml", work.path() + "/g.xml"),
                        expected_object(fnt, atlas.width, atlas.height, "g_0.png", true)),
            "");
  EXPECT_EQ(png_colour_type(read_file(work.path() + "/g_0.png")), 0);
  EXPECT_EQ(decode(work.path() + "/g_0.png", 1).pixels, atlas.pixels);
}

TEST(Export, RefusesToOverwriteItsInputs) {
  struct Row {
    const char *what;
    const char *out;
    const char *message;
  };
  const Row rows[] = {
      {"the .fnt", "DejaVuSans-12.fnt", "is the font being exported"},
      {"the .fnt by another path", "sub/../DejaVuSans-12.fnt", "is the font being exported"},
      {"a link to the .fnt", "link.fnt", "is the font being exported"},
      {"the .fnt through a linked directory", "alias/DejaVuSans-12.fnt",
       "is the font being exported"},
      {"the atlas", "DejaVuSans-12.png", "is the atlas"},
      {"a page that is a link to the atlas", "sly.fnt", "is the atlas"},
      {"the font file given with --font", "font.ttf", "is the font file given with --font"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDir work;
    const std::string d = work.path();
    std::filesystem::copy_file(bake().fnt(12), d + "/DejaVuSans-12.fnt");
    std::filesystem::copy_file(bake().dir.path() + "/DejaVuSans-12.png", d + "/DejaVuSans-12.png");
    std::filesystem::create_directory(d + "/sub");
    std::filesystem::create_symlink("DejaVuSans-12.fnt", d + "/link.fnt");
    std::filesystem::create_symlink(d, d + "/alias");
    std::filesystem::create_symlink("DejaVuSans-12.png", d + "/sly_0.png");
    std::filesystem::copy_file(support::k_sans, d + "/font.ttf");
    const std::string fnt_before = read_file(d + "/DejaVuSans-12.fnt");
    const std::string atlas_before = read_file(d + "/DejaVuSans-12.png");
    const std::set<std::string> tree_before = support::tree(d);

    const RunResult r = run_export(d, {"--font", "font.ttf", "DejaVuSans-12.fnt", "text", row.out});
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r;
    EXPECT_EQ(read_file(d + "/DejaVuSans-12.fnt"), fnt_before);
    EXPECT_EQ(read_file(d + "/DejaVuSans-12.png"), atlas_before);
    EXPECT_EQ(read_file(d + "/font.ttf"), read_file(support::k_sans));
    EXPECT_EQ(support::tree(d), tree_before) << "something was written";
  }
}

TEST(Export, FailedWriteLeavesNoPartialFileAndFails) {
  // The grey page is smaller than the JSON descriptor, so a limit between
  // their sizes fails the second write, after the first succeeded.
  ScratchDir measure;
  ASSERT_EQ(
      run_export(measure.path(), {"--page", "grey", bake().fnt(21), "json", "m.json"}).exit_code,
      0);
  const std::string page = read_file(measure.path() + "/m_0.png");
  const long descriptor_size = long(read_file(measure.path() + "/m.json").size());
  ASSERT_LT(long(page.size()), descriptor_size);

  // Both are written before either is put in place, so the earlier pair
  // stays whole whichever write fails.
  struct Row {
    const char *what;
    long limit;
  };
  const Row rows[] = {{"the page fails", long(page.size()) / 2},
                      {"the descriptor fails", (long(page.size()) + descriptor_size) / 2}};
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDir work;
    const std::string d = work.path();
    write_file(d + "/font.json", "an earlier descriptor\n");
    write_file(d + "/font_0.png", "an earlier page\n");
    const RunResult r =
        run_export(d, {"--page", "grey", bake().fnt(21), "json", "font.json"}, row.limit);
    EXPECT_TRUE(r.exited && r.exit_code == 1) << r;
    EXPECT_NE(r.err.find(": cannot be written (File too large)"), std::string::npos) << r;
    EXPECT_EQ(read_file(d + "/font.json"), "an earlier descriptor\n");
    EXPECT_EQ(read_file(d + "/font_0.png"), "an earlier page\n");
    EXPECT_EQ(support::tree(d), (std::set<std::string>{"font.json", "font_0.png"}));
  }

  // A device cannot be replaced whole, so it is refused before any write.
  ScratchDir work;
  std::filesystem::create_symlink("/dev/full", work.path() + "/full.fnt");
  const RunResult r = run_export(work.path(), {bake().fnt(12), "text", "full.fnt"});
  EXPECT_EQ(r.exit_code, 1) << r;
  EXPECT_EQ(r.err, "glyphmint-font: full.fnt: is a character device, not a regular file; nothing "
                   "was written\n");
  EXPECT_FALSE(support::entry_exists(work.path() + "/full_0.png"));
  EXPECT_TRUE(std::filesystem::is_symlink(work.path() + "/full.fnt"));
}

TEST(Export, NotesEscapeControlBytesAsErrorsDo) {
  ScratchDir work;
  const std::string fnt = "dup\x1b[2J.fnt";
  std::filesystem::copy_file(bake().fnt(12), work.path() + "/" + fnt);
  std::filesystem::copy_file(bake().dir.path() + "/DejaVuSans-12.png",
                             work.path() + "/DejaVuSans-12.png");
  const RunResult r = run_export(work.path(), {fnt, "text", "out.fnt"});
  EXPECT_EQ(r.exit_code, 0) << r;
  EXPECT_EQ(r.err, "glyphmint-font: dup\\x1b[2J.fnt: code point 65 is baked more than once; "
                   "exported once, from its first record\n");
}

TEST(Export, ThePageIsNamedAfterOutUpToItsLastDot) {
  const std::tuple<const char *, u64, u64, std::string> rows[] = {
      {"dir/Serif-16.bmfont.fnt", 0, 1, "dir/Serif-16.bmfont_0.png"},
      {"out", 0, 1, "out_0.png"},
      {"a.b/out", 0, 1, "a.b/out_0.png"},
      {"out.fnt", 9, 10, "out_9.png"},
      {"out.fnt", 3, 11, "out_03.png"}}; // the binary form's names are of one length
  for (const auto &[out, id, count, page] : rows) {
    const Path got = bmfont_page_path(Path(out), id, count);
    EXPECT_EQ(std::string(got.text.data, got.text.len), page) << out << " " << id;
  }
}

// A hand-made .fnt of one 1x1 glyph and its 4x4 atlas, for values no bake
// of a real font gives.
struct Crafted {
  i32 code = 65;
  i32 line_height = 20;
  i32 advance = 8;
  i32 bearing_x = 0;

  void write(const std::string &dir) const {
    const std::string image = "crafted-16.png";
    const gm_glyph glyph{code, 1, 1, bearing_x, 10, 0, 0, advance, 0, 0, 0};
    write_file(dir + "/crafted-16.fnt",
               support::fnt_bytes({image, line_height, 16, 15, -4, {glyph}}));
    const u8 zeros[16] = {};
    EXPECT_NE(stbi_write_png((dir + "/" + image).c_str(), 4, 4, 1, zeros, 4), 0);
  }
};

TEST(Export, ValuesAFormCannotHoldAreErrors) {
  struct Row {
    const char *what;
    Crafted font;
    const char *form;
    const char *message; // empty: the export succeeds
  };
  const Row rows[] = {
      {"an advance past i16",
       {.advance = 40000},
       "binary",
       "code point 65: xadvance 40000 does not fit the binary form's i16 field"},
      {"a bearing past i16", {.bearing_x = -40000}, "binary", "code point 65: xoffset -40000"},
      {"a line height past u16", {.line_height = 70000}, "binary", "lineHeight 70000 does not fit"},
      {"the text form holds any integer", {.advance = 40000}, "text", ""},
      {"a negative code point", {.code = -5}, "text", "code point -5 is negative"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDir work;
    row.font.write(work.path());
    const RunResult r = run_export(work.path(), {"crafted-16.fnt", row.form, "out.fnt"});
    if (*row.message == '\0') {
      EXPECT_EQ(r.exit_code, 0) << r;
      EXPECT_EQ(read_with_npm(row.form, work.path() + "/out.fnt")["chars.0.xadvance"], "40000");
      continue;
    }
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r;
    EXPECT_FALSE(entry_exists(work.path() + "/out.fnt") || entry_exists(work.path() + "/out_0.png"))
        << "a refused export wrote something";
  }
}

TEST(Export, UsageErrorsPointToTheHelp) {
  struct Row {
    std::vector<std::string> args;
    int status;
    const char *says;
  };
  const Row rows[] = {
      {{"--help"}, 0, "  binary  the binary form, version 3"},
      {{"a.fnt", "text"}, 1, "Missing argument: OUT\n"},
      {{"a.fnt", "yaml", "out"}, 1, "Unknown format: yaml"},
      {{"--page", "blue", "a.fnt", "text", "out"}, 1, "Unknown page: blue"},
      {{"--padding", "65", "a.fnt", "text", "out"}, 1, "--padding takes N or UP,RIGHT,DOWN,LEFT"},
      {{"--spacing", "1,2,3", "a.fnt", "xml", "out"}, 1, "--spacing takes N or H,V"},
      {{"--name", "x", "a.fnt", "text", "out"}, 1, "--name applies to the c form only"},
      {{"--padding", "1", "a.fnt", "c", "out.h"}, 1, "--padding does not apply to the c form"},
      {{"--name", "9x", "a.fnt", "c", "out.h"}, 1, "--name takes a C identifier"},
      {{"--page-size", "96", "a.fnt", "text", "out"}, 1, "--page-size takes W or WxH, powers"},
      {{"--page-size", "128", "a.fnt", "c", "out.h"}, 1, "--page-size does not apply to the c"},
  };
  ScratchDir work;
  for (const Row &row : rows) {
    const RunResult r = run_export(work.path(), row.args);
    EXPECT_EQ(r.exit_code, row.status) << row.args[0] << "\n" << r;
    // --help on standard output; a usage error on standard error only.
    const std::string &said = row.status == 0 ? r.out : r.err;
    EXPECT_NE(said.find(row.says), std::string::npos) << row.args[0] << "\n" << r;
    EXPECT_NE(said.find(row.status == 0 ? "Usage: glyphmint-font export"
                                        : "Try 'glyphmint-font help export'"),
              std::string::npos)
        << r;
    if (row.status != 0) {
      EXPECT_EQ(r.out, "") << r;
    }
  }
}

// ----------------------------------------------------------- the writers

BmFont sample_font() {
  BmFont f;
  f.info.face = "Sample";
  f.info.size = 10;
  f.common = {.line_height = 12, .base = 9, .scale_w = 64, .scale_h = 32};
  f.pages = {Str("sample_0.png")};
  f.chars = {{.id = 65, .x = 1, .y = 1, .width = 6, .height = 7, .yoffset = 2, .xadvance = 7},
             {.id = 86, .x = 9, .y = 1, .width = 7, .height = 7, .yoffset = 2, .xadvance = 7}};
  return f;
}

std::string write_form(const std::string &dir, const BmFont &font,
                       const std::vector<KerningPair> &pairs, BmForm form) {
  const Str bytes = bmfont_bytes(font, {pairs.data(), pairs.size()}, form);
  const StrView name = bmfont_form_name(form);
  const std::string path = dir + "/sample." + std::string(name.data, name.len);
  write_file(path, std::string(bytes.data, bytes.len));
  return path;
}

TEST(BmfontWriters, KerningPairsReachEveryParser) {
  ScratchDir work;
  const std::vector<KerningPair> pairs = {{65, 86, -2}, {86, 65, 3}};
  Parsed text;
  for (const BmForm form : {BmForm::Text, BmForm::Xml, BmForm::Binary, BmForm::Json}) {
    const StrView name = bmfont_form_name(form);
    SCOPED_TRACE(std::string(name.data, name.len));
    const std::string path = write_form(work.path(), sample_font(), pairs, form);
    const Parsed parsed = read_with_npm(std::string(name.data, name.len), path);
    const Parsed want_pairs = {{"kernings.0.first", "65"},  {"kernings.0.second", "86"},
                               {"kernings.0.amount", "-2"}, {"kernings.1.first", "86"},
                               {"kernings.1.second", "65"}, {"kernings.1.amount", "3"}};
    for (const auto &[key, value] : want_pairs)
      EXPECT_EQ(parsed.count(key) ? parsed.at(key) : "", value) << key;
    if (form == BmForm::Text) text = parsed;
    EXPECT_EQ(differences(parsed, text), "") << "differs from the text form";
    if (form == BmForm::Binary) expect_binary_blocks(read_file(path), {1, 2, 3, 4, 5});
  }
}

TEST(BmfontWriters, NamesAreEscapedOrRefused) {
  ScratchDir work;
  BmFont font = sample_font();
  font.info.face = "Sans & \"Co\" <b> 'x'\t\xc3\xa9";
  for (const BmForm form : {BmForm::Xml, BmForm::Json}) {
    const StrView name = bmfont_form_name(form);
    const Parsed parsed =
        read_with_npm(std::string(name.data, name.len), write_form(work.path(), font, {}, form));
    EXPECT_EQ(parsed.count("info.face") ? parsed.at("info.face") : "",
              "\"Sans & \\\"Co\\\" <b> 'x'\\t\xc3\xa9\"")
        << std::string(name.data, name.len);
  }

  struct Row {
    const char *what;
    BmForm form;
    std::string face;
    std::string page;
    KerningPair pair;
    const char *message;
  };
  const Row rows[] = {
      {"a quote in the text form",
       BmForm::Text,
       "a\"b",
       "p.png",
       {},
       "face name holds a double quote"},
      {"a line feed in the text form", BmForm::Text, "a", "p\n.png", {}, "page file name holds"},
      {"a control character in XML",
       BmForm::Xml,
       "a\x01",
       "p.png",
       {},
       "face name holds a control"},
      {"a NUL in the binary form",
       BmForm::Binary,
       std::string("a\0b", 3),
       "p.png",
       {},
       "holds a NUL"},
      {"bytes that are not UTF-8", BmForm::Json, "a\xff", "p.png", {}, "is not valid UTF-8"},
      {"a kerning amount past i16",
       BmForm::Binary,
       "a",
       "p.png",
       {65, 86, -40000},
       "kerning pair 65, 86: amount -40000 does not fit"},
  };
  for (const Row &row : rows) {
    BmFont f = sample_font();
    f.info.face = Str(row.face.data(), row.face.size());
    f.pages = {Str(row.page.data(), row.page.size())};
    const std::vector<KerningPair> pairs = {row.pair};
    try {
      (void)bmfont_bytes(f, {pairs.data(), row.pair.first ? 1u : 0u}, row.form);
      ADD_FAILURE() << row.what << ": written";
    } catch (const Err &e) {
      const std::string message(e.message.data, e.message.len);
      EXPECT_NE(message.find(row.message), std::string::npos) << row.what << ": " << message;
    }
  }
}

TEST(BmfontWriters, ABinaryBlockTooLargeForItsSizeIsNamed) {
  // The size is checked before any pair is read, so a count alone stands for
  // the 4 GiB of pairs whose block size the 32-bit field cannot hold.
  const KerningPair pair{65, 86, -2};
  const u64 too_many = u64{0xffffffff} / 10 + 1;
  try {
    (void)bmfont_bytes(sample_font(), {&pair, too_many}, BmForm::Binary);
    ADD_FAILURE() << "written";
  } catch (const Err &e) {
    EXPECT_EQ(std::string(e.message.data, e.message.len),
              "kerning pairs block: size 4294967300 does not fit the binary form's u32 field "
              "(0..4294967295)");
  }
}

} // namespace
