// The code points a UTF-8 text asks for, such as a game's strings given to
// `charset --text`.
#pragma once

#include "tools/glyphmint-font/charset/code-points.h"

#include <string_view>

/// The text's characters, each once: a byte-order mark at its start is
/// ignored, and line feeds, carriage returns and tabs are left out. Throws Err
/// "invalid UTF-8 (offset N)", N counting from the text's first byte.
[[nodiscard]] CodePointSet text_code_points(std::string_view utf8);

/// text_code_points of a whole file, read to its end, a pipe too (as
/// `--text <(command)` gives); "-" reads standard input. Throws Err "<path>:
/// cannot be opened (<reason>)", "<path>: cannot be read (<reason>)" or
/// "<path>: invalid UTF-8 (offset N)", <path> "standard input" for "-".
[[nodiscard]] CodePointSet text_file_code_points(StrView path);
