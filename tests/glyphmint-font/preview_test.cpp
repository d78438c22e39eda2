// glyphmint-font preview, its page opened in headless Chromium through
// tests/npm/open-preview.js. The oracles are the browser's own drawing of the
// sample against the PNG that render writes, and info's own output.
#include "tests/glyphmint-font/baked-sans.h"

#include <map>
#include <stb_image.h>

namespace {

using baked_sans::bake;
using baked_sans::font_tool;
using support::read_file;
using support::RunResult;
using support::ScratchDir;

// What open-preview.js reported for a page opened once per case.
std::vector<std::string> open_in_browser(const std::string &page, const std::string &out_dir,
                                         const std::vector<std::string> &cases) {
  std::vector<std::string> args = {std::string(GLYPHMINT_NPM_DIR) + "/open-preview.js", page,
                                   out_dir};
  args.insert(args.end(), cases.begin(), cases.end());
  ScratchDir capture;
  const RunResult r = support::run_program(GLYPHMINT_NODE, args, out_dir, capture.path());
  EXPECT_EQ(r.exit_code, 0) << "Chromium through puppeteer-core (the npm.parsers test installs "
                               "it; scripts/install-deps installs chromium)\n"
                            << r;
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
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

struct SampleCase {
  bool field;
  bool kerning;
  std::string text;
  int scale;
};

TEST(Preview, ThePageInChromiumDrawsWhatRenderDraws) {
  ScratchDir field;
  std::filesystem::copy_file(support::k_sans, field.path() + "/Sans.ttf");
  support::write_file(
      field.path() + "/Sans.glyphmint.ini",
      "path = Sans.ttf\nsizes = [16]\nranges = [32-126, 945-969]\nchars = []\nrender = sdf\n"
      "spread = 4\n");
  ASSERT_EQ(
      support::run_program(GLYPHMINT_EXE, {"--dir", "."}, field.path(), field.path()).exit_code, 0);
  const std::string fonts[] = {bake().root.path() + "/fonts/DejaVuSans-24.fnt",
                               field.path() + "/Sans-16.fnt"};
  // fj and AV overlap, j starts left of the pen, ζ hangs below the box, a
  // final line feed adds a line; "" makes an empty image, which render refuses.
  const SampleCase cases[] = {{false, false, "fjord AV\njζ ÿ €", 1},
                              {false, false, "Ab\n", 3},
                              {false, false, "", 1},
                              {false, true, "AVATAR\nTo Wa LT", 2},
                              {true, false, "fjord AV\njζ", 4},
                              {true, false, "Ab", 1},
                              {true, true, "AVATAR To", 3}};
  std::map<std::pair<bool, bool>, std::vector<const SampleCase *>> pages;
  for (const SampleCase &c : cases) pages[{c.field, c.kerning}].push_back(&c);
  for (const auto &[page_kind, page_cases] : pages) {
    const auto [is_field, kerned] = page_kind;
    SCOPED_TRACE(std::string(is_field ? "field" : "coverage") + (kerned ? ", kerned" : ""));
    const std::string fnt = fonts[is_field];
    const std::vector<std::string> font_option =
        kerned ? std::vector<std::string>{"--font", support::k_sans} : std::vector<std::string>{};
    ScratchDir page_dir, out;
    std::vector<std::string> args = {"preview", fnt, "page.html"};
    args.insert(args.begin() + 1, font_option.begin(), font_option.end());
    const RunResult made = font_tool(args, page_dir.path());
    ASSERT_EQ(made.exit_code, 0) << made;
    EXPECT_EQ(support::tree(page_dir.path()), std::set<std::string>{"page.html"});

    std::vector<std::string> browser_cases;
    for (const SampleCase *c : page_cases) {
      browser_cases.push_back(std::to_string(c->scale));
      browser_cases.push_back(c->text);
    }
    const std::vector<std::string> report =
        open_in_browser(page_dir.path() + "/page.html", out.path(), browser_cases);
    support::FntFile records;
    std::string why;
    ASSERT_TRUE(support::parse_fnt(read_file(fnt), records, why)) << why;
    ASSERT_EQ(report.size(), page_cases.size() + 1) << "errors or requests:\n"
                                                    << ::testing::PrintToString(report);
    EXPECT_EQ(report[0], "boxes " + std::to_string(records.records.size()));

    const std::string page_text = read_file(out.path() + "/page-text.txt");
    std::istringstream info(font_tool({"info", fnt}, out.path()).out);
    for (std::string line; std::getline(info, line);)
      EXPECT_NE(page_text.find(line), std::string::npos) << line;

    for (std::size_t i = 0; i < page_cases.size(); ++i) {
      const SampleCase &c = *page_cases[i];
      SCOPED_TRACE(c.text + " at scale " + std::to_string(c.scale));
      std::vector<std::string> render = {"render", "--scale", std::to_string(c.scale),
                                         fnt,      c.text,    "render.png"};
      render.insert(render.begin() + 1, font_option.begin(), font_option.end());
      const RunResult drawn = font_tool(render, out.path());
      const std::string prefix = "case " + std::to_string(i) + " ";
      if (drawn.exit_code != 0) {
        EXPECT_NE(drawn.err.find("empty image"), std::string::npos) << drawn;
        EXPECT_EQ(report[i + 1].rfind(prefix + "note The text makes an empty image", 0), 0u)
            << report[i + 1];
        continue;
      }
      ASSERT_EQ(report[i + 1].rfind(prefix + "png ", 0), 0u) << report[i + 1];
      expect_canvas_is_render(report[i + 1].substr(prefix.size() + 4), out.path() + "/render.png");
    }
  }
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
