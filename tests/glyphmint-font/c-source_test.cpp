// export's c form: a program compiled against the header of a bake, as C99 and
// C++11 by gcc and clang under strict warnings, reads the font with
// glyphmint/fnt.h and draws a text exactly as render does; and the names a
// header takes.
#include "tests/glyphmint-font/baked-sans.h"
#include "tools/glyphmint-font/c-source.h"

#include <stb_image.h>

namespace {

using baked_sans::bake;
using baked_sans::font_tool;
using support::RunResult;
using support::ScratchDir;

TEST(CSource, AProgramCompiledWithItDrawsTheTextAsRenderDoes) {
  ScratchDir work;
  const std::string w = work.path();
  const std::string fnt = bake().root.path() + "/fonts/DejaVuSans-16.fnt";
  const std::string text = "Hello, wörld\nψυχαγωγ, 1½ €";
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"export", "--name", "test_font", fnt, "c", w + "/font.h"},
        {"render", fnt, text, w + "/render.png"}}) {
    const RunResult r = font_tool(args, w);
    ASSERT_EQ(r.exit_code, 0) << r;
  }
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
  for (const std::vector<std::string> &compiler : compilers) {
    SCOPED_TRACE(compiler[0] + " " + compiler[1]);
    const RunResult built = support::run_program(
        compiler[0],
        {compiler[1], "-x", compiler[2], "-Wall", "-Wextra", "-pedantic", "-Werror", "-Wconversion",
         "-Wsign-conversion", "-I" + std::string(GLYPHMINT_SOURCE_DIR) + "/include", "-I" + w,
         std::string(GLYPHMINT_SOURCE_DIR) + "/tests/glyphmint-font/c-form-reader.c", "-o",
         w + "/reader"},
        w, bake().captures.path());
    ASSERT_EQ(built.exit_code, 0) << built;
    const RunResult drawn =
        support::run_program(w + "/reader", {text, w + "/drawn.pgm"}, w, bake().captures.path());
    ASSERT_EQ(drawn.exit_code, 0) << drawn;
    EXPECT_EQ(support::first_difference(support::read_file(w + "/drawn.pgm"), rendered), "");
  }
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
      {"_x", true}, {"x9_", true}, {"9x", false}, {"a-b", false}, {"", false}, {"\xc3\xa9", false}};
  for (const auto &[name, is] : identifiers) EXPECT_EQ(is_c_identifier(name), is) << name;
}

} // namespace
