// The manual page's DIAGNOSTICS, as man shows it, against the messages
// glyphmint-font can print, found in its sources, so that a new message
// without an entry fails here. A message is written in a statement that
// names Err, print_message, a name ending in _error (usage_error,
// set_value_error, k_scale_error), Input (what refuse_overwriting names), a
// message, note or where variable, or a fail... or refuse...
// function, or in the body of such a function or lambda; each of its
// literals, cut at printf conversions, must be in the section. The reader
// header's error texts come from gm_error_text itself.
#include "glyphmint/fnt.h"
#include "tests/support/support.h"

namespace {

bool names_a_message(const std::string &name) {
  static const std::set<std::string> names = {"Err",     "print_message", "usage_error", "Input",
                                              "message", "note",          "where"};
  return names.count(name) != 0 || name.ends_with("_error") || name.starts_with("fail") ||
         name.starts_with("refuse");
}

// The literals of the file's message statements, each after "file:line: ";
// with only_name, of the statements that name it.
std::vector<std::string> message_literals(const std::string &path,
                                          const char *only_name = nullptr) {
  const std::string src = support::read_file(path);
  std::vector<std::string> out, literals;
  std::vector<bool> in_message_body{false}; // per open brace
  bool message = false;
  for (std::size_t i = 0, line = 1; i < src.size(); ++i) {
    const char c = src[i];
    line += c == '\n';
    if (src.compare(i, 2, "//") == 0 || (c == '#' && (i == 0 || src[i - 1] == '\n'))) {
      i = src.find('\n', i) - 1;
    } else if (c == '"' || c == '\'') {
      std::string text = path.substr(path.rfind('/') + 1) + ":" + std::to_string(line) + ": ";
      for (++i; src[i] != c; ++i)
        text += src[i] != '\\' ? src[i] : src[++i] == 'n' || src[i] == 't' ? ' ' : src[i];
      if (c == '"') literals.push_back(text);
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t end = i;
      while (std::isalnum(static_cast<unsigned char>(src[end])) || src[end] == '_') ++end;
      const std::string name = src.substr(i, end - i);
      message = message || (only_name != nullptr ? name == only_name : names_a_message(name));
      i = end - 1;
    } else if (c == ';' || c == '{' || c == '}') {
      message = message || in_message_body.back();
      if (message) out.insert(out.end(), literals.begin(), literals.end());
      if (c == '{') in_message_body.push_back(message);
      if (c == '}' && in_message_body.size() > 1) in_message_body.pop_back();
      literals.clear();
      message = false;
    }
  }
  return out;
}

// The section as man prints it, blanks collapsed.
std::string diagnostics_as_shown() {
  const std::string command =
      "LC_ALL=C MANWIDTH=1000 man -l " GLYPHMINT_SOURCE_DIR "/man/glyphmint-font.1 2>&1";
  std::FILE *pipe = popen(command.c_str(), "r");
  std::string page, text;
  for (int c; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;) page += char(c);
  if (pipe != nullptr) pclose(pipe);
  const std::size_t start = page.find("\nDIAGNOSTICS\n"), end = page.find("\nEXAMPLES\n");
  EXPECT_TRUE(start < end && end != std::string::npos) << command << " printed:\n" << page;
  for (const char c : page.substr(start + 1, end - start))
    if (!std::isspace(static_cast<unsigned char>(c)) || (!text.empty() && text.back() != ' '))
      text += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
  return text;
}

TEST(ManualPage, DiagnosticsListsEveryMessageTheFontToolPrints) {
  const std::string root = GLYPHMINT_SOURCE_DIR;
  std::vector<std::string> texts = message_literals(root + "/core/prog-opts.cpp", "fail_usage");
  for (const auto &dir : {"/tools/glyphmint-font", "/shared"})
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root + dir))
      if (entry.path().extension() == ".cpp")
        for (const std::string &t : message_literals(entry.path().string())) texts.push_back(t);
  for (int e = GM_ERR_SHORT_HEADER; std::string(gm_error_text(gm_error(e))) != "unknown error"; ++e)
    texts.push_back(std::string("gm_error_text: ") + gm_error_text(gm_error(e)));

  // No messages, or none a command line reaches: the help's heading, a form
  // outside the enum, the plain parse's report of a word.
  const std::string not_messages[] = {"Program arguments:", "unknown BMFont form", "Unknown option",
                                      "(args count: "};
  const std::string shown = diagnostics_as_shown();
  std::size_t checked = 0;
  for (const std::string &placed : texts) {
    std::istringstream parts(placed.substr(placed.find(": ") + 2));
    bool after_conversion = false;
    for (std::string part; std::getline(parts, part, '%'); after_conversion = true) {
      if (after_conversion) part.erase(0, part.find_first_not_of("0123456789-.") + 1);
      part.erase(0, part.find_first_not_of(" :;,"));
      part.erase(part.find_last_not_of(' ') + 1);
      const auto letter = [](char ch) { return std::isalpha(static_cast<unsigned char>(ch)) != 0; };
      if (std::count_if(part.begin(), part.end(), letter) < 3 ||
          std::any_of(std::begin(not_messages), std::end(not_messages),
                      [&](const std::string &t) { return placed.find(t) != std::string::npos; }))
        continue;
      ++checked;
      EXPECT_NE(shown.find(part), std::string::npos)
          << placed << "\n\"" << part << "\" is not in glyphmint-font.1's DIAGNOSTICS";
    }
  }
  EXPECT_GT(checked, 60u) << "the scan found too few messages to be working";
}

} // namespace
