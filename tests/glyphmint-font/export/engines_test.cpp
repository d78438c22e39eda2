// export --engine: PixiJS, Phaser and melonJS draw the export in headless
// Chromium (tests/npm/draw-in-engines.js) as render draws it, and what each
// engine cannot load is refused.
#include "tests/glyphmint-font/baked-sans.h"

#include <stb_image.h>

namespace {

using baked_sans::bake;
using baked_sans::font_tool;
using support::RunResult;
using support::ScratchDir;

// PixiJS's field shader (its own scale of the distance, its cut-offs near 0
// and 1) parts from render only on the anti-aliased edge: 17 at most when
// measured at 4x.
constexpr int k_field_bound = 24;

// A PNG's red or grey channel, inverted for a dark-on-light canvas, and the
// top left of where it is at least half inked: engines place the text where
// they place it, render at its own origin.
struct Drawing {
  int width = 0, height = 0, left = 1 << 20, top = 1 << 20;
  std::vector<int> pixels;
  int at(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 0 : pixels[std::size_t(y * width + x)];
  }
};

Drawing drawing(const std::string &png, bool inverted) {
  Drawing d;
  int n = 0;
  u8 *rgba = stbi_load(png.c_str(), &d.width, &d.height, &n, 4);
  EXPECT_TRUE(rgba) << png;
  for (int i = 0; rgba && i < d.width * d.height; ++i) {
    d.pixels.push_back(inverted ? 255 - rgba[4 * i] : rgba[4 * i]);
    if (d.pixels.back() >= 128)
      d.left = std::min(d.left, i % d.width), d.top = std::min(d.top, i / d.width);
  }
  stbi_image_free(rgba);
  return d;
}

struct EngineCase {
  const char *engine;
  int font; // 0 coverage at 24 px, 1 sdf at 16, 2 msdf at 16
  std::vector<std::string> options;
  std::string text;
  int scale;
  const char *start; // the descriptor's start: its form
  const char *out = "out.fnt";
};

// To, LT, AV and Wa kern; their overlapping cells share no inked pixel, so
// blending and render's larger value agree. j starts left of its pen.
const EngineCase k_cases[] = {
    {"pixi", 0, {}, "Hello, jolly\nyoung Wa", 1, "info face="},
    {"pixi", 0, {"--font", support::k_sans}, "To LT AVA", 2, "info face="},
    {"pixi", 0, {"--page-size", "128", "--padding", "1"}, "Quiz jumps\nover 42", 1, "info face="},
    // Its text parser would read the page name 2x_0.png as the number 2.
    {"pixi", 0, {}, "Hello", 2, "<?xml", "2x.fnt"},
    {"pixi", 1, {}, "Sdf go", 4, "<?xml"},
    {"pixi", 2, {"--spacing", "3"}, "Msdf go", 4, "<?xml"},
    {"phaser", 0, {}, "Hello, jolly\nyoung Wa", 1, "<?xml"},
    {"phaser", 0, {"--font", support::k_sans, "--padding", "2"}, "To LT AVA", 3, "<?xml"},
    {"melonjs", 0, {}, "Hello, jolly\nyoung Wa", 1, "info face="},
    {"melonjs", 0, {"--spacing", "4"}, "Quiz 42", 2, "info face="},
};

// The shared bake's coverage and field fonts, and an msdf bake in `dir`.
std::string font_path(int font, const std::string &dir) {
  const std::string fonts = bake().root.path() + "/fonts/DejaVuSans-";
  if (font == 2 && !support::entry_exists(dir + "/Msdf-16.fnt")) {
    std::filesystem::copy_file(support::k_sans, dir + "/Msdf.ttf");
    support::write_file(dir + "/Msdf.glyphmint.ini", "path = Msdf.ttf\nsizes = [16]\nranges = "
                                                     "[32-126]\nchars = []\nrender = msdf\n");
    EXPECT_EQ(support::run_program(GLYPHMINT_EXE, {"--dir", "."}, dir, dir).exit_code, 0);
  }
  return font == 0 ? fonts + "24.fnt" : font == 1 ? fonts + "SDF-16.fnt" : dir + "/Msdf-16.fnt";
}

TEST(Engines, EachWebEngineDrawsTheExportAsRenderDoes) {
  ScratchDir msdf, work, capture;
  std::vector<std::string> cases = {std::string(GLYPHMINT_NPM_DIR) + "/draw-in-engines.js", "."};
  for (std::size_t i = 0; i < std::size(k_cases); ++i) {
    const EngineCase &c = k_cases[i];
    const std::string dir = work.path() + "/" + std::to_string(i), out = dir + "/" + c.out;
    std::filesystem::create_directory(dir);
    std::vector<std::string> args = {"export", "--engine", c.engine};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {font_path(c.font, msdf.path()), out});
    const RunResult r = font_tool(args, work.path());
    ASSERT_EQ(r.exit_code, 0) << r;
    EXPECT_EQ(support::read_file(out).rfind(c.start, 0), 0u) << c.engine << " " << c.text;
    cases.insert(cases.end(),
                 {c.engine, out, std::to_string(c.scale), c.font ? "field" : "", c.text});
  }
  const RunResult drawn = support::run_program(GLYPHMINT_NODE, cases, work.path(), capture.path());
  ASSERT_EQ(drawn.exit_code, 0) << drawn;
  std::istringstream report(drawn.out);
  for (std::size_t i = 0; i < std::size(k_cases); ++i) {
    const EngineCase &c = k_cases[i];
    SCOPED_TRACE(std::string(c.engine) + ", the form starting " + c.start + ", \"" + c.text +
                 "\" at " + std::to_string(c.scale) + "x");
    std::string line;
    std::getline(report, line);
    ASSERT_EQ(line, "case " + std::to_string(i) + " drawn");
    const std::string rendered = work.path() + "/render-" + std::to_string(i) + ".png";
    std::vector<std::string> render = {"render", "--scale", std::to_string(c.scale)};
    if (!c.options.empty() && c.options[0] == "--font")
      render.insert(render.end(), {"--font", support::k_sans});
    render.insert(render.end(), {font_path(c.font, msdf.path()), c.text, rendered});
    ASSERT_EQ(font_tool(render, work.path()).exit_code, 0);
    const Drawing got = drawing(work.path() + "/case-" + std::to_string(i) + ".png", c.font != 0),
                  want = drawing(rendered, false);
    int worst = 0;
    for (int y = 0; y < got.height; ++y)
      for (int x = 0; x < got.width; ++x)
        worst = std::max(worst, std::abs(got.at(x, y) - want.at(x - got.left + want.left,
                                                                y - got.top + want.top)));
    EXPECT_LE(worst, c.font ? k_field_bound : 0) << "the largest difference of a pixel";
  }
}

TEST(Engines, RefusesWhatTheEngineCannotLoadAndWritesNothing) {
  ScratchDir work;
  const std::string coverage = font_path(0, ""), sdf = font_path(1, "");
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"unreal", coverage, "o"}, "Unknown engine: unreal (pixi, phaser, melonjs, godot or love)"},
      {{"pixi", coverage, "xml", "o"}, "--engine chooses the form: give FONT.fnt and OUT, no"},
      {{"love", "--page", "grey", coverage, "o"}, "grey is refused for love: it blends glyphs"},
      {{"melonjs", sdf, "o"}, "melonjs cannot load a distance field: its bitmap text has no"},
      {{"godot", sdf, "o"}, "godot cannot load a distance field: the text and binary forms"},
      {{"phaser", "--page-size", "128", "--padding", "3", coverage, "o"},
       "o: phaser draws a font from one texture (at most 4096x4096); these glyphs need "}};
  for (const auto &[options, message] : refused) {
    std::vector<std::string> args = {"export", "--engine"};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult r = font_tool(args, work.path());
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_NE(r.err.find(message), std::string::npos) << r;
    EXPECT_EQ(support::tree(work.path()), std::set<std::string>{}) << message;
  }
}

} // namespace
