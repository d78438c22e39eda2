#include "tools/glyphmint-font/charset/text-code-points.h"

#include "core/fmt.h"
#include "glyphmint/fnt.h"
#include "tools/glyphmint-font/cli/given-paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const StrView k_standard_input("standard input");

// Read with stdio rather than Path::read_bytes, which gives nothing for a
// pipe: --text <(generate-texts) and --text - must see the text.
std::string read_all(std::FILE *file, StrView name) {
  errno = 0;
  std::string bytes;
  char chunk[65536];
  for (;;) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file);
    bytes.append(chunk, got);
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file))
    throw Err(
        fmt(name, ": cannot be read (", StrView(std::strerror(errno != 0 ? errno : EIO)), ")"));
  return bytes;
}

std::string read_text_file(StrView path) {
  if (is_standard_stream(path)) return read_all(stdin, k_standard_input);
  const std::string c_path(path.data != nullptr ? path.data : "", path.len);
  const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(c_path.c_str(), "rb"),
                                                              std::fclose);
  if (file == nullptr)
    throw Err(fmt(path, ": cannot be opened (", StrView(std::strerror(errno)), ")"));
  return read_all(file.get(), path);
}

} // namespace

CodePointSet text_code_points(std::string_view utf8) {
  // One flag per code point: a long text repeats its few characters often.
  std::vector<bool> seen(k_last_code_point + 1);
  size_t offset = utf8.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  while (offset < utf8.size()) {
    u32 c = 0;
    const size_t at = offset;
    if (!gm_utf8_decode(utf8.data(), utf8.size(), &offset, &c))
      throw Err(fmt(StrView(gm_error_text(GM_ERR_INVALID_UTF8)), " (offset ", u64{at}, ")"));
    if (c != '\n' && c != '\r' && c != '\t') seen[c] = true;
  }
  CodePointSet set;
  for (u32 c = 0; c <= k_last_code_point; ++c)
    if (seen[c]) set.add(c, c);
  return set;
}

CodePointSet text_file_code_points(StrView path) {
  const std::string text = read_text_file(path);
  try {
    return text_code_points(text);
  } catch (const Err &e) {
    throw Err(fmt(is_standard_stream(path) ? k_standard_input : path, ": ", e.message));
  }
}
