// export --engine: each web engine's own drawing of the export (PixiJS,
// Phaser, melonJS in headless Chromium, through tests/npm/draw-in-engines.js)
// against render of the same text, and what each engine is refused.
#include "tests/glyphmint-font/baked-sans.h"

#include <stb_image.h>

namespace {

using baked_sans::bake;
using baked_sans::font_tool;
using support::RunResult;
using support::ScratchDir;

// A distance field drawn by PixiJS's shader at 4x differs from render's only
// along the anti-aliased edge (the shader's own scale of the distance and its
// cut-offs near 0 and 1), by 17 at most when measured: no pixel by more.
constexpr int k_field_bound = 24;

// The image's ink, 8-bit, cropped to the pixels that are not background.
struct Ink {
  int width = 0, height = 0;
  std::vector<u8> pixels;
};

// Canvas PNGs hold the glyphs in red (dark on light for a distance field);
// render's PNGs are grey.
Ink ink_of(const std::string &png, bool canvas, bool dark_on_light) {
  int w = 0, h = 0, n = 0;
  u8 *rgba = stbi_load(png.c_str(), &w, &h, &n, 4);
  EXPECT_TRUE(rgba) << png;
  std::vector<u8> value(std::size_t(w) * std::size_t(h));
  for (std::size_t i = 0; rgba && i < value.size(); ++i)
    value[i] = u8(dark_on_light && canvas ? 255 - rgba[4 * i] : rgba[4 * i]);
  stbi_image_free(rgba);
  int left = w, top = h, right = -1, bottom = -1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (value[std::size_t(y) * std::size_t(w) + std::size_t(x)] != 0)
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
        bottom = std::max(bottom, y);
  Ink ink{std::max(0, right - left + 1), std::max(0, bottom - top + 1), {}};
  for (int y = top; y <= bottom; ++y)
    for (int x = left; x <= right; ++x)
      ink.pixels.push_back(value[std::size_t(y) * std::size_t(w) + std::size_t(x)]);
  return ink;
}

struct EngineCase {
  const char *engine;
  int font; // 0 coverage at 24 px, 1 sdf at 16, 2 msdf at 16
  std::vector<std::string> options;
  const char *text;
  int scale;
  const char *form; // what the descriptor must be: "text" or "xml"
  const char *out = "out.fnt";
};

// AV, To, LT and Wa kern; T's bar stays clear of o, so blending and render's
// larger-value overlap agree. j starts left of its pen, y and j hang below.
const EngineCase k_cases[] = {
    {"pixi", 0, {}, "Hello, jolly\nyoung Wa", 1, "text"},
    // PixiJS's text parser would read the page name 2x_0.png as the number 2.
    {"pixi", 0, {}, "Hello", 2, "xml", "2x.fnt"},
    {"pixi", 0, {"--font", support::k_sans}, "To LT AVA", 2, "text"},
    {"pixi", 0, {"--page-size", "128", "--padding", "1"}, "Quiz jumps\nover 42", 1, "text"},
    {"pixi", 1, {}, "Sdf go", 4, "xml"},
    {"pixi", 2, {"--spacing", "3"}, "Msdf go", 4, "xml"},
    {"phaser", 0, {}, "Hello, jolly\nyoung Wa", 1, "xml"},
    {"phaser", 0, {"--font", support::k_sans, "--padding", "2"}, "To LT AVA", 3, "xml"},
    {"melonjs", 0, {}, "Hello, jolly\nyoung Wa", 1, "text"},
    {"melonjs", 0, {"--spacing", "4"}, "Quiz 42", 2, "text"},
};

std::string font_path(int font, const std::string &fields) {
  const std::string paths[] = {bake().root.path() + "/fonts/DejaVuSans-24.fnt",
                               fields + "/Sdf-16.fnt", fields + "/Msdf-16.fnt"};
  return paths[font];
}

// The texts hold no quote, backslash or control character but line feeds.
std::string json_escaped(std::string text) {
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at))
    text.replace(at, 1, "\\n");
  return text;
}

void bake_fields(const std::string &dir) {
  for (const char *kind : {"Sdf", "Msdf"}) {
    const std::string name = kind;
    std::filesystem::copy_file(support::k_sans, dir + "/" + name + ".ttf");
    support::write_file(dir + "/" + name + ".glyphmint.ini",
                        "path = " + name + ".ttf\nsizes = [16]\nranges = [32-126]\nchars = []\n" +
                            "render = " + (name == "Sdf" ? "sdf" : "msdf") + "\nspread = 4\n");
  }
  const RunResult r = support::run_program(GLYPHMINT_EXE, {"--dir", "."}, dir, dir);
  ASSERT_EQ(r.exit_code, 0) << r;
}

void expect_drawn_as_render(const EngineCase &c, const std::string &canvas,
                            const std::string &rendered) {
  const bool field = c.font != 0;
  const Ink got = ink_of(canvas, true, field), want = ink_of(rendered, false, false);
  ASSERT_EQ(std::make_pair(got.width, got.height), std::make_pair(want.width, want.height));
  int worst = 0;
  for (std::size_t i = 0; i < want.pixels.size(); ++i)
    worst = std::max(worst, std::abs(int(got.pixels[i]) - int(want.pixels[i])));
  EXPECT_LE(worst, field ? k_field_bound : 0) << "the largest difference of a pixel";
}

TEST(Engines, EachWebEngineDrawsTheExportAsRenderDoes) {
  ScratchDir fields, work;
  bake_fields(fields.path());
  std::string cases_json = "[";
  for (std::size_t i = 0; i < std::size(k_cases); ++i) {
    const EngineCase &c = k_cases[i];
    const std::string dir = work.path() + "/" + std::to_string(i);
    std::filesystem::create_directory(dir);
    const std::string out = dir + "/" + c.out;
    std::vector<std::string> args = {"export", "--engine", c.engine};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {font_path(c.font, fields.path()), out});
    const RunResult r = font_tool(args, work.path());
    ASSERT_EQ(r.exit_code, 0) << r;
    const std::string head = support::read_file(out).substr(0, 10);
    EXPECT_EQ(head, std::string(c.form) == "xml" ? "<?xml vers" : "info face=") << c.engine;
    cases_json += std::string(i ? "," : "") + "{\"engine\":\"" + c.engine + "\",\"descriptor\":\"" +
                  out + "\",\"page\":\"" + out.substr(0, out.size() - 4) +
                  "_0.png\",\"scale\":" + std::to_string(c.scale) + ",\"field\":" +
                  (c.font ? "true" : "false") + ",\"text\":\"" + json_escaped(c.text) + "\"}";
  }
  support::write_file(work.path() + "/cases.json", cases_json + "]");
  ScratchDir capture;
  const RunResult drawn = support::run_program(
      GLYPHMINT_NODE,
      {std::string(GLYPHMINT_NPM_DIR) + "/draw-in-engines.js", "cases.json", work.path()},
      work.path(), capture.path());
  ASSERT_EQ(drawn.exit_code, 0) << drawn;
  std::istringstream report(drawn.out);
  for (std::size_t i = 0; i < std::size(k_cases); ++i) {
    const EngineCase &c = k_cases[i];
    SCOPED_TRACE(std::string(c.engine) + ", the " + c.form + " form, \"" + c.text + "\" at " +
                 std::to_string(c.scale) + "x");
    std::string line;
    std::getline(report, line);
    const std::string png_prefix = "case " + std::to_string(i) + " png ";
    ASSERT_EQ(line.rfind(png_prefix, 0), 0u) << line;
    std::vector<std::string> render = {"render", "--scale", std::to_string(c.scale)};
    if (c.options.size() > 1 && c.options[0] == "--font")
      render.insert(render.end(), {"--font", support::k_sans});
    const std::string rendered = work.path() + "/render-" + std::to_string(i) + ".png";
    render.insert(render.end(), {font_path(c.font, fields.path()), c.text, rendered});
    const RunResult r = font_tool(render, work.path());
    ASSERT_EQ(r.exit_code, 0) << r;
    expect_drawn_as_render(c, line.substr(png_prefix.size()), rendered);
  }
}

TEST(Engines, RefusesWhatTheEngineCannotLoadAndWritesNothing) {
  ScratchDir fields, work;
  bake_fields(fields.path());
  const std::string coverage = bake().root.path() + "/fonts/DejaVuSans-24.fnt";
  const std::string sdf = fields.path() + "/Sdf-16.fnt";
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"--engine", "unreal", coverage, "o.fnt"},
       "Unknown engine: unreal (pixi, phaser, melonjs, godot or love)"},
      {{"--engine", "pixi", coverage, "xml", "o.fnt"}, "--engine chooses the form"},
      {{"--engine", "pixi", coverage}, "Missing argument: OUT"},
      {{"--engine", "love", "--page", "grey", coverage, "o.fnt"},
       "--page grey is refused for love: it blends glyphs with the page's alpha"},
      {{"--engine", "phaser", sdf, "o.fnt"}, "phaser cannot load a distance field"},
      {{"--engine", "melonjs", sdf, "o.fnt"}, "melonjs cannot load a distance field: its bitmap text"},
      {{"--engine", "godot", sdf, "o.fnt"}, "godot cannot load a distance field: the text and"},
      {{"--engine", "phaser", "--page-size", "64", coverage, "o.fnt"},
       "o.fnt: phaser draws a font from one texture (at most 4096x4096); these glyphs need "},
      {{"--engine", "melonjs", "--page-size", "128", "--padding", "3", coverage, "o.fnt"},
       "pages of 128x128; nothing was written"},
      {{"--engine", "pixi", "--name", "x", coverage, "o.fnt"}, "--name applies to the c form"}};
  for (const auto &[options, message] : refused) {
    std::vector<std::string> args = {"export"};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult r = font_tool(args, work.path());
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_NE(r.err.find(message), std::string::npos) << r;
    EXPECT_EQ(support::tree(work.path()), std::set<std::string>{}) << message;
  }
}

} // namespace
