// export's c form: a program compiled against the header of a bake, as C99 and
// C++11 by gcc and clang under strict warnings, reads the font with
// glyphmint/fnt.h and draws a text exactly as render does; and the names.
#include "tests/glyphmint-font/baked-sans.h"
#include "tools/glyphmint-font/export/c-source.h"

#include <stb_image.h>

namespace {

using baked_sans::font_tool;
using support::run_program;

TEST(CSource, AProgramCompiledWithItDrawsTheTextAsRenderDoes) {
  const support::ScratchDir work;
  const std::string w = work.path(), source = GLYPHMINT_SOURCE_DIR;
  const std::string fnt = baked_sans::bake().root.path() + "/fonts/DejaVuSans-16.fnt";
  const std::string text = "Hello, wörld\nαβγ 1½ €";
  ASSERT_EQ(font_tool({"export", "--name", "test_font", fnt, "c", w + "/font.h"}, w).exit_code, 0);
  ASSERT_EQ(font_tool({"render", fnt, text, w + "/render.png"}, w).exit_code, 0);
  int width = 0, height = 0, channels = 0;
  u8 *png = stbi_load((w + "/render.png").c_str(), &width, &height, &channels, 1);
  ASSERT_NE(png, nullptr);
  const std::string rendered = "P5\n" + std::to_string(width) + " " + std::to_string(height) +
                               "\n255\n" + std::string(png, png + width * height);
  stbi_image_free(png);
  const std::vector<std::vector<std::string>> compilers = {
      {GLYPHMINT_CC, "-std=c99", "c"},
      {GLYPHMINT_CXX, "-std=c++11", "c++"},
      {GLYPHMINT_CLANG, "-std=c99", "c"},
      {GLYPHMINT_CLANGXX, "-std=c++11", "c++"}};
  for (const std::vector<std::string> &cc : compilers) {
    const support::RunResult built =
        run_program(cc[0],
                    {cc[1], "-x", cc[2], "-Wall", "-Wextra", "-pedantic", "-Werror", "-Wconversion",
                     "-Wsign-conversion", "-I" + source + "/include", "-I" + w,
                     source + "/tests/glyphmint-font/export/c-form-reader.c", "-o", w + "/reader"},
                    w, w);
    ASSERT_EQ(built.exit_code, 0) << cc[0] << " " << cc[1] << "\n" << built;
    EXPECT_EQ(run_program(w + "/reader", {text, w + "/drawn.pgm"}, w, w).exit_code, 0) << cc[0];
    EXPECT_EQ(support::first_difference(support::read_file(w + "/drawn.pgm"), rendered), "");
  }
}

TEST(CSource, ADistanceFieldIsReadBackWithItsSpread) {
  const support::ScratchDir work;
  const std::string w = work.path(), source = GLYPHMINT_SOURCE_DIR;
  const std::string fnt = baked_sans::bake().root.path() + "/fonts/DejaVuSans-SDF-16.fnt";
  ASSERT_EQ(font_tool({"export", "--name", "test_font", fnt, "c", w + "/font.h"}, w).exit_code, 0);
  const support::RunResult built =
      run_program(GLYPHMINT_CC,
                  {"-std=c99", "-I" + source + "/include", "-I" + w,
                   source + "/tests/glyphmint-font/export/c-form-reader.c", "-o", w + "/reader"},
                  w, w);
  ASSERT_EQ(built.exit_code, 0) << built;
  const support::RunResult read = run_program(w + "/reader", {" H ", w + "/drawn.pgm"}, w, w);
  EXPECT_EQ(read.exit_code, 0) << read;
  EXPECT_EQ(read.out, "spread 3\n");
}

TEST(CSource, NamesAreCIdentifiersThatNoCompilerReserves) {
  const std::pair<const char *, const char *> defaults[] = {
      {"fonts/DejaVuSans-16.h", "DejaVuSans_16"},
      {"16px.h", "font_16px"},
      {"a--b_.c.h", "a_b"},
      {"-x.h", "x"},
      {".h", "font"},
      {"Schrift-\xc3\x9f.h", "Schrift"},
      {"a.b/out", "out"}};
  for (const auto &[out, name] : defaults) EXPECT_EQ(default_c_name(Path(out)), name) << out;
  const std::pair<const char *, bool> identifiers[] = {
      {"x_9", true}, {"_x", false},  {"x9_", false}, {"a__b", false},
      {"9x", false}, {"a-b", false}, {"", false},    {"\xc3\xa9", false}};
  for (const auto &[name, is] : identifiers) EXPECT_EQ(is_unreserved_c_name(name), is) << name;
}

} // namespace
