// glyphmint-font preview, its page opened in headless Chromium through
// tests/npm/open-preview.js. The oracles are the browser's own drawing of the
// sample against the PNG that render writes, and info's own output.
#include "tests/glyphmint-font/baked-sans.h"

#include <map>
#include <stb_image.h>
#include <stb_image_write.h>

namespace {

using baked_sans::bake;
using baked_sans::font_tool;
using support::read_file;
using support::RunResult;
using support::ScratchDir;

// What open-preview.js reported for a page opened once per case: "boxes" and
// "case I png", "pixels", "note" and "missing" to the rest of their line;
// errors and requests, which a page must not have, under "unexpected".
std::map<std::string, std::string> open_in_browser(const std::string &page,
                                                   const std::string &out_dir,
                                                   const std::vector<std::string> &cases) {
  std::vector<std::string> args = {std::string(GLYPHMINT_NPM_DIR) + "/open-preview.js", page,
                                   out_dir};
  args.insert(args.end(), cases.begin(), cases.end());
  ScratchDir capture;
  const RunResult r = support::run_program(GLYPHMINT_NODE, args, out_dir, capture.path());
  EXPECT_EQ(r.exit_code, 0) << "Chromium through puppeteer-core (the npm.parsers test installs "
                               "it; scripts/install-deps installs chromium)\n"
                            << r;
  std::map<std::string, std::string> report;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    const std::size_t key_end =
        line.find(' ', line.rfind("case ", 0) == 0 ? line.find(' ', 5) + 1 : 0);
    const std::string key = line.substr(0, key_end);
    if (key == "error" || key == "request")
      report["unexpected"] += line + "\n";
    else
      report[key] = line.substr(key_end + 1);
  }
  return report;
}

// The canvas (RGBA, white on opaque black) against render's greyscale PNG.
void expect_canvas_is_render(const std::string &canvas_png, const std::string &render_png) {
  int cw = 0, ch = 0, rw = 0, rh = 0, n = 0;
  u8 *canvas = stbi_load(canvas_png.c_str(), &cw, &ch, &n, 4);
  u8 *render = stbi_load(render_png.c_str(), &rw, &rh, &n, 1);
  ASSERT_TRUE(canvas && render);
  EXPECT_EQ(std::make_pair(cw, ch), std::make_pair(rw, rh));
  long differ = 0;
  for (long i = 0; cw == rw && ch == rh && i < long(rw) * rh; ++i)
    differ += canvas[4 * i] != render[i] || canvas[4 * i + 1] != render[i] ||
              canvas[4 * i + 2] != render[i] || canvas[4 * i + 3] != 255;
  EXPECT_EQ(differ, 0) << "pixels of " << rw << "x" << rh;
  stbi_image_free(canvas);
  stbi_image_free(render);
}

// The bytes the page drew against render's PNG, grey or RGBA (a canvas holds
// alpha multiplied in, these exactly), returning render's channels.
int expect_drawn_bytes_are_render(const std::string &bytes_file, const std::string &render_png) {
  int w = 0, h = 0, n = 0;
  u8 *render = stbi_load(render_png.c_str(), &w, &h, &n, 0);
  const std::string drawn = read_file(bytes_file);
  EXPECT_TRUE(render &&
              drawn == std::string(reinterpret_cast<char *>(render), std::size_t(w * h * n)))
      << w << "x" << h << "x" << n << " bytes";
  stbi_image_free(render);
  return n;
}

struct SampleCase {
  int font; // 0 coverage, 1 sdf, 2 the same as a multi-channel field, 3 mono, 4 mtsdf, 5 colour
  bool kerning;
  std::string text;
  int scale;
};

// The distance field as a multi-channel one whose median is its green
// channel (red 0, blue 255): drawn by its median it is the field again.
std::string as_multi_channel(const std::string &dir, const std::string &sdf) {
  support::FntFile fnt;
  std::string why;
  EXPECT_TRUE(support::parse_fnt(read_file(dir + "/" + sdf + ".fnt"), fnt, why)) << why;
  for (gm_glyph &g : fnt.records) g.reserved = gm_kind_reserved(GM_KIND_MSDF, 4);
  fnt.image = "msdf.png";
  support::write_file(dir + "/msdf.fnt", support::fnt_bytes(fnt));
  int w = 0, h = 0, n = 0;
  u8 *grey = stbi_load((dir + "/" + sdf + ".png").c_str(), &w, &h, &n, 1);
  std::vector<u8> rgb;
  for (long i = 0; grey && i < long(w) * h; ++i) rgb.insert(rgb.end(), {0, grey[i], 255});
  stbi_image_free(grey);
  EXPECT_NE(stbi_write_png((dir + "/msdf.png").c_str(), w, h, 3, rgb.data(), w * 3), 0);
  return dir + "/msdf.fnt";
}

// One page of the font, opened once per case: what it shows against info,
// and each case's canvas against render's PNG, or the reason both give for
// drawing nothing.
void expect_page_draws_as_render(const std::string &fnt, bool kerned,
                                 const std::vector<const SampleCase *> &cases) {
  const std::vector<std::string> font_option =
      kerned ? std::vector<std::string>{"--font", support::k_sans} : std::vector<std::string>{};
  ScratchDir page_dir, out;
  std::vector<std::string> args = {"preview", fnt, "page.html"};
  args.insert(args.begin() + 1, font_option.begin(), font_option.end());
  const RunResult made = font_tool(args, page_dir.path());
  ASSERT_EQ(made.exit_code, 0) << made;
  EXPECT_EQ(support::tree(page_dir.path()), std::set<std::string>{"page.html"});

  std::vector<std::string> browser_cases;
  for (const SampleCase *c : cases)
    browser_cases.insert(browser_cases.end(), {std::to_string(c->scale), c->text});
  std::map<std::string, std::string> report =
      open_in_browser(page_dir.path() + "/page.html", out.path(), browser_cases);
  EXPECT_EQ(report["unexpected"], "");
  support::FntFile records;
  std::string why;
  ASSERT_TRUE(support::parse_fnt(read_file(fnt), records, why)) << why;
  EXPECT_EQ(report["boxes"], std::to_string(records.records.size()));
  const std::string page_text = read_file(out.path() + "/page-text.txt");
  std::istringstream info(font_tool({"info", fnt}, out.path()).out);
  for (std::string line; std::getline(info, line);)
    EXPECT_NE(page_text.find(line), std::string::npos) << line;

  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i]->text + " at scale " + std::to_string(cases[i]->scale));
    const std::string key = "case " + std::to_string(i) + " ";
    const std::string png = "render-" + std::to_string(i) + ".png";
    std::vector<std::string> render = {"render", "--scale",      std::to_string(cases[i]->scale),
                                       fnt,      cases[i]->text, png};
    render.insert(render.begin() + 1, font_option.begin(), font_option.end());
    const RunResult drawn = font_tool(render, out.path());
    if (drawn.err.find("empty image") != std::string::npos)
      EXPECT_EQ(report[key + "note"].rfind("The text makes an empty image", 0), 0u);
    else if (drawn.err.find("no glyph for U+0416") != std::string::npos)
      EXPECT_EQ(report[key + "missing"], "Not in the font: U+0416 Ж");
    else if (expect_drawn_bytes_are_render(report[key + "pixels"], out.path() + "/" + png) == 1)
      expect_canvas_is_render(report[key + "png"], out.path() + "/" + png);
  }
}

TEST(Preview, ThePageInChromiumDrawsWhatRenderDraws) {
  ScratchDir field;
  std::filesystem::copy_file(support::k_sans, field.path() + "/Sans.ttf");
  support::write_file(
      field.path() + "/Sans.glyphmint.ini",
      "path = Sans.ttf\nsizes = [16]\nranges = [32-126, 945-969]\nchars = []\nrender = sdf\n"
      "spread = 4\n");
  std::filesystem::copy_file(support::k_sans, field.path() + "/Pixel.ttf");
  support::write_file(
      field.path() + "/Pixel.glyphmint.ini",
      "path = Pixel.ttf\nsizes = [12]\nranges = [32-126]\nchars = []\nrender = mono\n");
  // mtsdf's low alpha far from the outline and the emoji's faint edges are
  // where a canvas, multiplying alpha in, changes the atlas's bytes.
  std::filesystem::create_symlink(support::k_sans, field.path() + "/Tsdf.ttf");
  support::write_file(field.path() + "/Tsdf.glyphmint.ini",
                      "path = Tsdf.ttf\nsizes = [24]\nranges = [32-126, 945-969]\nchars = []\n"
                      "render = mtsdf\nspread = 4\n");
  std::filesystem::create_symlink(support::k_emoji, field.path() + "/Emoji.ttf");
  support::write_file(field.path() + "/Emoji.glyphmint.ini",
                      "path = Emoji.ttf\nsizes = [32]\nranges = []\n"
                      "chars = [127752, 128077, 128512, 10084]\nrender = color\n");
  ASSERT_EQ(
      support::run_program(GLYPHMINT_EXE, {"--dir", "."}, field.path(), field.path()).exit_code, 0);
  const std::string fonts[] = {bake().root.path() + "/fonts/DejaVuSans-24.fnt",
                               field.path() + "/Sans-16.fnt",
                               as_multi_channel(field.path(), "Sans-16"),
                               field.path() + "/Pixel-12.fnt",
                               field.path() + "/Tsdf-24.fnt",
                               field.path() + "/Emoji-32.fnt"};
  // fj and AV overlap, j starts left of the pen, ζ hangs below the box, a
  // final line feed adds a line; "" makes an empty image and Ж is missing,
  // which render refuses and the page says.
  const SampleCase cases[] = {{0, false, "fjord AV\njζ ÿ €", 1},
                              {0, false, "Ab\n", 3},
                              {0, false, "", 1},
                              {0, false, "aЖb", 2},
                              {0, true, "AVATAR\nTo Wa LT", 2},
                              {1, false, "fjord AV\njζ", 4},
                              {1, false, "Ab", 1},
                              {1, true, "AVATAR To", 3},
                              {2, false, "fjord AV\njζ", 3},
                              {3, false, "Ab", 2},
                              {4, false, "fjord AV\njζ", 3},
                              {5, false, "😀❤👍\n🌈", 3}};
  std::map<std::pair<int, bool>, std::vector<const SampleCase *>> pages;
  for (const SampleCase &c : cases) pages[{c.font, c.kerning}].push_back(&c);
  for (const auto &[page, page_cases] : pages) {
    SCOPED_TRACE(fonts[page.first] + (page.second ? ", kerned" : ""));
    expect_page_draws_as_render(fonts[page.first], page.second, page_cases);
  }
}

TEST(Preview, MarkupInTheFontsNamesAndTheTextStaysText) {
  ScratchDir work, out;
  support::FntFile fnt;
  std::string why;
  const std::string baked = bake().root.path() + "/fonts/DejaVuSans-24";
  ASSERT_TRUE(support::parse_fnt(read_file(baked + ".fnt"), fnt, why)) << why;
  fnt.image = "a&b<!--</script><img src=x onerror=\"throw 1\">.png";
  std::filesystem::create_directories(work.path() + "/a&b<!--<");
  std::filesystem::copy_file(baked + ".png", work.path() + "/" + fnt.image);
  support::write_file(work.path() + "/x.fnt", support::fnt_bytes(fnt));
  const RunResult r =
      font_tool({"preview", "--text", "</script><!--\"'&", "x.fnt", "page.html"}, work.path());
  ASSERT_EQ(r.exit_code, 0) << r;
  std::map<std::string, std::string> report =
      open_in_browser(work.path() + "/page.html", out.path(), {"1", "AV"});
  EXPECT_EQ(report["unexpected"], "");
  EXPECT_NE(read_file(out.path() + "/page-text.txt").find("image: " + fnt.image),
            std::string::npos);
}

TEST(Preview, NeverWritesOverItsInputsNorAnythingButARegularFile) {
  ScratchDir work;
  for (const char *file : {"DejaVuSans-24.fnt", "DejaVuSans-24.png"})
    std::filesystem::copy_file(bake().root.path() + "/fonts/" + file, work.path() + "/" + file);
  std::filesystem::copy_file(support::k_sans, work.path() + "/Sans.ttf");
  std::filesystem::create_directory(work.path() + "/dir");
  const std::pair<std::string, std::string> refused[] = {
      {"DejaVuSans-24.fnt", "is the font being previewed (DejaVuSans-24.fnt); nothing was written"},
      {"DejaVuSans-24.png", "is the atlas of the font being previewed (DejaVuSans-24.png)"},
      {"Sans.ttf", "is the font file given with --font (Sans.ttf)"},
      {"dir", "dir: is a directory, not a regular file; nothing was written"},
      {"dir/", "dir/: names a directory, not a file"},
      {"page.html", "the text is not valid UTF-8 (at byte 3)"}};
  const std::set<std::string> before = support::tree(work.path());
  const std::string fnt_bytes = read_file(work.path() + "/DejaVuSans-24.fnt");
  for (const auto &[out, message] : refused) {
    const std::string text = out == "page.html" ? "abc\xc3(" : "abc";
    const RunResult r = font_tool(
        {"preview", "--font", "Sans.ttf", "--text", text, "DejaVuSans-24.fnt", out}, work.path());
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_NE(r.err.find(message), std::string::npos) << r;
    EXPECT_EQ(support::tree(work.path()), before) << out;
  }
  EXPECT_EQ(read_file(work.path() + "/DejaVuSans-24.fnt"), fnt_bytes);
}

} // namespace
