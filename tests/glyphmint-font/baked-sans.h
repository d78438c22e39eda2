// DejaVu Sans baked once by glyphmint for the tests of info and render, and
// glyphmint-font run on it as a user runs it.
#pragma once

#include "tests/support/support.h"

namespace baked_sans {

// The bake every test reads: fonts/DejaVuSans-{16,24}.{fnt,png} under root.
// 'A' is asked for twice, so it has two records. fonts/DejaVuSans-SDF-16 is
// Basic Latin as a distance field with spread 3.
struct Bake {
  support::ScratchDir root;
  support::ScratchDir captures;
  Bake() {
    const std::string fonts = root.path() + "/fonts";
    std::filesystem::create_directory(fonts);
    std::filesystem::copy_file(support::k_sans, fonts + "/DejaVuSans.ttf");
    support::write_file(fonts + "/DejaVuSans.glyphmint.ini",
                        "path = DejaVuSans.ttf\nsizes = [16, 24]\n"
                        "ranges = [32-126, 160-255, 945-969]\nchars = [65, 8364]\n");
    std::filesystem::create_symlink("DejaVuSans.ttf", fonts + "/DejaVuSans-SDF.ttf");
    support::write_file(fonts + "/DejaVuSans-SDF.glyphmint.ini",
                        "path = DejaVuSans-SDF.ttf\nsizes = [16]\nranges = [32-126]\nchars = []\n"
                        "render = sdf\nspread = 3\n");
    const support::RunResult r =
        support::run_program(GLYPHMINT_EXE, {"--dir", "fonts"}, root.path(), captures.path());
    EXPECT_EQ(r.exit_code, 0) << r;
  }
};

inline const Bake &bake() {
  static const Bake made;
  return made;
}

inline const std::string k_expected_code_points = "32-126, 160-255, 945-969, 8364";
inline constexpr std::size_t k_expected_glyphs = 95 + 96 + 25 + 2;

inline support::RunResult font_tool(const std::vector<std::string> &args, const std::string &cwd) {
  return support::run_program(GLYPHMINT_FONT_EXE, args, cwd, bake().captures.path());
}

} // namespace baked_sans
