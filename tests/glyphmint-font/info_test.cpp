// glyphmint-font info and its font-summary module, run as a user runs them on
// DejaVu Sans baked by glyphmint and on hand-made files. The oracles are
// FreeType called directly and the tests' own .fnt reader.
#include "tests/glyphmint-font/baked-sans.h"
#include "tools/glyphmint-font/baked/font-summary.h"

#include <array>
#include <functional>
#include <random>
#include <stb_image.h>
#include <stb_image_write.h>

namespace {

using baked_sans::bake;
using baked_sans::font_tool;
using baked_sans::k_expected_code_points;
using baked_sans::k_expected_glyphs;
using support::read_file;
using support::RunResult;
using support::ScratchDir;
using support::write_file;

TEST(Info, DescribesABakedFont) {
  for (const int size : {16, 24}) {
    const std::string name = "DejaVuSans-" + std::to_string(size);
    support::FntFile fnt;
    std::string why;
    ASSERT_TRUE(parse_fnt(read_file(bake().root.path() + "/fonts/" + name + ".fnt"), fnt, why));
    int w = 0, h = 0, channels = 0;
    ASSERT_TRUE(
        stbi_info((bake().root.path() + "/fonts/" + name + ".png").c_str(), &w, &h, &channels));
    // A bake's cells never overlap, so their areas add up.
    double cells = 0;
    for (const gm_glyph &rec : fnt.records) cells += double(rec.width + 2) * double(rec.rows + 2);
    const double fill = 100 * cells / (double(w) * h);
    const support::RefMetrics m = support::RefFace(support::k_sans, size).metrics();

    const RunResult r = font_tool({"info", "fonts/" + name + ".fnt"}, bake().root.path());
    ASSERT_EQ(r.exit_code, 0) << r;
    std::istringstream lines(r.out);
    std::string line, fill_line;
    std::vector<std::string> got;
    while (std::getline(lines, line)) got.push_back(line);
    if (got.size() > 7) fill_line = got[7], got[7] = "fill";
    const std::vector<std::string> want = {
        "image: " + name + ".png",
        "size: " + std::to_string(size),
        "line height: " + std::to_string(m.line_height),
        "ascender: " + std::to_string(m.ascender),
        "descender: " + std::to_string(m.descender),
        "glyphs: " + std::to_string(k_expected_glyphs),
        "atlas: " + std::to_string(w) + "x" + std::to_string(h),
        "fill",
        "code points: " + k_expected_code_points,
        "kind: coverage",
    };
    EXPECT_EQ(got, want) << r;
    double shown = -1;
    char percent = 0;
    EXPECT_EQ(std::sscanf(fill_line.c_str(), "fill: %lf%c", &shown, &percent), 2) << fill_line;
    EXPECT_EQ(percent, '%');
    EXPECT_EQ(fill_line.find('.'), fill_line.size() - 3) << fill_line << ": one decimal";
    EXPECT_LE(std::abs(shown - fill), 0.05) << fill_line << " for " << fill;
  }
}

// 36-byte records of code, width, rows, cell x, cell y; the bearings and
// advance play no part in info.
std::string fnt_bytes(const std::string &image, const std::vector<std::array<i32, 5>> &glyphs,
                      i32 spread = 0) {
  support::FntFile f{image, 20, 16, 15, -4, {}};
  for (const auto &g : glyphs)
    f.records.push_back({g[0], u32(g[1]), u32(g[2]), 0, 0, g[3], g[4], 9, spread, 0, 0});
  return support::fnt_bytes(f);
}

void write_png(const std::string &path, int w, int h, int channels) {
  const std::vector<u8> pixels(std::size_t(w * h * channels), 0);
  ASSERT_NE(stbi_write_png(path.c_str(), w, h, channels, pixels.data(), w * channels), 0) << path;
}

TEST(Info, CountsSharedCellsOnceAndEachCodePointOnce) {
  ScratchDir dir;
  // An 8x10 atlas: 'A' twice in one 5x5 cell, 'B' inside it, 'D' in a 2x2
  // cell of its own: 29 of 80 pixels, 36.25%, shown half up.
  const std::string image = std::string("atlas\x01") + ".png";
  write_png(dir.path() + "/" + image, 8, 10, 1);
  // The same cells again as a distance field with spread 3.
  for (const i32 spread : {0, 3}) {
    write_file(dir.path() + "/hand.fnt",
               fnt_bytes(image,
                         {{65, 3, 3, 0, 0}, {65, 3, 3, 0, 0}, {66, 1, 1, 2, 2}, {68, 0, 0, 5, 7}},
                         spread));
    const RunResult r = font_tool({"info", "hand.fnt"}, dir.path());
    EXPECT_EQ(r.exit_code, 0) << r;
    EXPECT_EQ(r.out, "image: atlas\\x01.png\nsize: 16\nline height: 20\nascender: 15\n"
                     "descender: -4\nglyphs: 4\natlas: 8x10\nfill: 36.3%\ncode points: 65-66, 68\n"
                     "kind: " +
                         std::string(spread == 0 ? "coverage" : "distance field, spread 3") + "\n");
  }
}

TEST(FontSummary, CoveredPixelsAreThePixelsOfAnyCell) {
  // Cells at random, many overlapping, against a grid with a flag per pixel.
  std::mt19937 random(7);
  const i32 w = 40, h = 30;
  for (int round = 0; round < 100; ++round) {
    std::vector<std::array<i32, 5>> cells;
    std::vector<bool> grid(std::size_t(w * h));
    for (i32 i = 0, n = i32(random() % 12); i < n; ++i) {
      const i32 width = i32(random() % 10), rows = i32(random() % 10);
      const i32 x = i32(random() % u32(w - width - 1)), y = i32(random() % u32(h - rows - 1));
      cells.push_back({65 + i, width, rows, x, y});
      for (i32 r = y; r < y + rows + 2; ++r)
        for (i32 c = x; c < x + width + 2; ++c) grid[std::size_t(r * w + c)] = true;
    }
    const std::string bytes = fnt_bytes("a.png", cells);
    gm_font font;
    ASSERT_EQ(gm_font_parse(&font, bytes.data(), bytes.size(), nullptr), GM_OK);
    EXPECT_EQ(covered_pixels(font), u64(std::count(grid.begin(), grid.end(), true)))
        << "round " << round;
  }
}

TEST(Info, FaultsAreOneLineNamingTheFile) {
  const std::string fonts = bake().root.path() + "/fonts";
  const std::string baked_fnt = read_file(fonts + "/DejaVuSans-16.fnt");
  int w = 0, h = 0, channels = 0;
  ASSERT_TRUE(stbi_info((fonts + "/DejaVuSans-16.png").c_str(), &w, &h, &channels));
  struct Row {
    const char *name;
    std::function<void(const std::string &dir)> damage;
    std::string file; // the one the message names
    std::string fault;
  } rows[] = {
      {"no atlas", [](const std::string &) {}, "f/DejaVuSans-16.png", "not found"},
      {"atlas too small",
       [&](const std::string &d) { write_png(d + "/DejaVuSans-16.png", 16, 16, 1); },
       "f/DejaVuSans-16.fnt", "glyph cell lies outside the atlas"},
      {"RGB atlas", [&](const std::string &d) { write_png(d + "/DejaVuSans-16.png", w, h, 3); },
       "f/DejaVuSans-16.png", "not an 8-bit greyscale PNG"},
      {"atlas header claims 40000x40000",
       [&](const std::string &d) {
         // Signature and an IHDR of an 8-bit grey image, no pixel data: the
         // size alone must stop it before any decoding.
         write_file(d + "/DejaVuSans-16.png",
                    std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x9c\x40\0\0\x9c\x40"
                                "\x08\0\0\0\0\0\0\0\0",
                                33));
       },
       "f/DejaVuSans-16.png", "image too large (40000x40000)"},
      {"colour atlas header claims 16384x16384 RGBA, 1 GiB: a one-channel size",
       [&](const std::string &d) {
         write_file(d + "/DejaVuSans-16.fnt", fnt_bytes("DejaVuSans-16.png", {{65, 1, 1, 0, 0}},
                                                        gm_kind_reserved(GM_KIND_COLOR, 0)));
         write_file(d + "/DejaVuSans-16.png",
                    std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x40\0"
                                "\0\0\x40\0\x08\x06\0\0\0\0\0\0\0",
                                33));
       },
       "f/DejaVuSans-16.png", "image too large (16384x16384)"},
      {"damaged .fnt",
       [&](const std::string &d) {
         write_png(d + "/DejaVuSans-16.png", w, h, 1);
         write_file(d + "/DejaVuSans-16.fnt", baked_fnt.substr(0, baked_fnt.size() - 10));
       },
       "f/DejaVuSans-16.fnt", "file ends inside the glyph records"},
  };
  for (const Row &row : rows) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path() + "/f");
    write_file(dir.path() + "/f/DejaVuSans-16.fnt", baked_fnt);
    row.damage(dir.path() + "/f");
    const RunResult r = font_tool({"info", "f/DejaVuSans-16.fnt"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << row.name << "\n" << r;
    EXPECT_EQ(r.out, "") << row.name;
    const std::string start = "glyphmint-font: " + row.file + ": ";
    EXPECT_EQ(r.err.substr(0, start.size()), start) << row.name << "\n" << r;
    EXPECT_NE(r.err.find(row.fault), std::string::npos) << row.name << "\n" << r;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << row.name << ": one line\n" << r;
  }
}

} // namespace
