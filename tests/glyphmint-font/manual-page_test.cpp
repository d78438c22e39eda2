// The manual page's DIAGNOSTICS against the messages glyphmint-font can
// print, found in its sources, so that a new message without an entry fails
// here. A message is the text of a statement that builds one: one that names
// Err, print_message, usage_error, a message, note or where variable, or a
// fail... or refuse... function, or that lies in the body of such a function
// or lambda; its string literals, cut at printf conversions, must each appear
// in the section as man shows it. The reader header's error texts come from
// gm_error_text itself.
#include "glyphmint/fnt.h"
#include "tests/support/support.h"

#include <cctype>

namespace {

struct Statement {
  std::string where; // file:line
  std::vector<std::string> literals;
};

bool is_message_name(const std::string &name) {
  static const std::set<std::string> names = {"Err",     "print_message", "usage_error",
                                              "message", "note",          "where"};
  return names.count(name) != 0 || name.starts_with("fail") || name.starts_with("refuse");
}

// The statements of a C++ file that build messages (with `trigger`, those
// naming it instead), comments and preprocessor lines left out and adjacent
// literals joined.
std::vector<Statement> message_statements(const std::string &file, const char *trigger = nullptr) {
  const std::string src = support::read_file(file);
  EXPECT_FALSE(src.empty()) << file;
  std::vector<Statement> out;
  std::vector<bool> in_message_body; // one per open brace
  Statement current;
  bool is_message = false, last_was_literal = false;
  int line = 1;
  const auto end_statement = [&](char brace) {
    const bool inside = !in_message_body.empty() && in_message_body.back();
    if ((is_message || inside) && !current.literals.empty()) out.push_back(current);
    if (brace == '{') in_message_body.push_back(is_message || inside);
    if (brace == '}' && !in_message_body.empty()) in_message_body.pop_back();
    current = {};
    is_message = last_was_literal = false;
  };
  for (std::size_t i = 0; i < src.size();) {
    const unsigned char c = static_cast<unsigned char>(src[i]);
    if (c == '\n') ++line;
    if (src.compare(i, 2, "//") == 0 || (c == '#' && (i == 0 || src[i - 1] == '\n'))) {
      i = src.find('\n', i);
      continue;
    }
    if (src.compare(i, 2, "/*") == 0) {
      const std::size_t end = src.find("*/", i);
      line += int(std::count(src.begin() + long(i), src.begin() + long(end), '\n'));
      i = end + 2;
      continue;
    }
    if (c == '"' || c == '\'') {
      std::string text;
      for (++i; src[i] != c; ++i) {
        if (src[i] != '\\') {
          text += src[i];
          continue;
        }
        const char e = src[++i];
        text += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'x' || (e >= '0' && e <= '7') ? '?' : e;
        while (e == 'x' && std::isxdigit(static_cast<unsigned char>(src[i + 1]))) ++i;
      }
      ++i;
      if (c == '\'') continue;
      if (current.literals.empty() || !last_was_literal) {
        current.literals.emplace_back();
        current.where = file.substr(file.rfind('/') + 1) + ":" + std::to_string(line);
      }
      current.literals.back() += text;
      last_was_literal = true;
      continue;
    }
    if (std::isalpha(c) || c == '_') {
      const std::size_t end = src.find_first_not_of(
          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_", i);
      const std::string name = src.substr(i, end - i);
      is_message = is_message || (trigger ? name == trigger : is_message_name(name));
      i = end;
      last_was_literal = false;
      continue;
    }
    if (c == ';' || c == '{' || c == '}') end_statement(char(c));
    if (!std::isspace(c)) last_was_literal = false;
    ++i;
  }
  return out;
}

std::string collapse_blanks(const std::string &text) {
  std::string out;
  for (const char c : text)
    if (!std::isspace(static_cast<unsigned char>(c)))
      out += c;
    else if (!out.empty() && out.back() != ' ')
      out += ' ';
  return out;
}

std::string replace_all(std::string text, const std::string &from, const std::string &to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// A macro line's arguments: quoted ones may hold blanks.
std::vector<std::string> roff_arguments(const std::string &rest) {
  std::vector<std::string> args;
  for (std::size_t i = rest.find_first_not_of(' '); i < rest.size();
       i = rest.find_first_not_of(' ', i)) {
    const bool quoted = rest[i] == '"';
    const std::size_t end = std::min(rest.find(quoted ? '"' : ' ', i + 1), rest.size());
    args.push_back(rest.substr(i + (quoted ? 1 : 0), end - i - (quoted ? 1 : 0)));
    i = end + (quoted ? 1 : 0);
  }
  return args;
}

// The DIAGNOSTICS section as plain text: font macros' arguments joined as
// man joins them, escapes as the characters they stand for.
std::string diagnostics_text(const std::string &page) {
  static const std::set<std::string> alternating = {"BI", "IB", "BR", "RB", "IR", "RI"};
  static const std::set<std::string> joined = {"B", "I", "SS"};
  std::istringstream lines(page.substr(page.find("\n.SH DIAGNOSTICS") + 1));
  std::string line, text;
  std::getline(lines, line);
  while (std::getline(lines, line) && !line.starts_with(".SH")) {
    if (line.starts_with(".")) {
      const std::size_t blank = std::min(line.find(' '), line.size());
      const std::string macro = line.substr(1, blank - 1);
      const std::vector<std::string> args = roff_arguments(line.substr(blank));
      line.clear();
      if (alternating.count(macro) != 0 || joined.count(macro) != 0)
        for (const std::string &a : args)
          line += (alternating.count(macro) != 0 || line.empty() ? "" : " ") + a;
    }
    text += line + " ";
  }
  for (const auto &[escape, plain] :
       std::vector<std::pair<std::string, std::string>>{{"\\-", "-"},
                                                        {"\\(aq", "'"},
                                                        {"\\e", "\\"},
                                                        {"\\fB", ""},
                                                        {"\\fI", ""},
                                                        {"\\fR", ""},
                                                        {"\\fP", ""},
                                                        {"\\&", ""}})
    text = replace_all(text, escape, plain);
  return collapse_blanks(text);
}

// The parts of a message text that the page must hold: the text cut at
// printf conversions, each part without its leading punctuation; parts
// without a word of three letters say nothing.
std::vector<std::string> fragments(const std::string &literal) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (literal[i] != '%') {
      parts.back() += literal[i];
      continue;
    }
    while (i + 1 < literal.size() && !std::isalpha(static_cast<unsigned char>(literal[i + 1]))) ++i;
    ++i;
    parts.emplace_back();
  }
  std::vector<std::string> out;
  for (std::string part : parts) {
    part = collapse_blanks(part);
    part.erase(0, std::min(part.find_first_not_of(" :;,"), part.size()));
    part.erase(part.find_last_not_of(' ') + 1);
    std::size_t run = 0, longest = 0;
    for (const char c : part)
      longest = std::max(longest, run = std::isalpha(static_cast<unsigned char>(c)) ? run + 1 : 0);
    if (longest >= 3) out.push_back(part);
  }
  return out;
}

TEST(ManualPage, DiagnosticsListsEveryMessageTheFontToolPrints) {
  const std::string root = GLYPHMINT_SOURCE_DIR;
  const std::string diagnostics =
      diagnostics_text(support::read_file(root + "/man/glyphmint-font.1"));
  ASSERT_GT(diagnostics.size(), 1000u);

  std::vector<Statement> statements =
      message_statements(root + "/core/prog-opts.cpp", "printf"); // the usage errors
  for (const auto &dir : {"/tools/glyphmint-font", "/shared"})
    for (const auto &entry : std::filesystem::directory_iterator(root + dir))
      if (entry.path().extension() == ".cpp")
        for (Statement &s : message_statements(entry.path().string())) statements.push_back(s);
  for (int e = GM_ERR_SHORT_HEADER; std::string(gm_error_text(gm_error(e))) != "unknown error"; ++e)
    statements.push_back({"gm_error_text", {gm_error_text(gm_error(e))}});

  // Texts that are no message or that no command line reaches: the help's
  // heading, a form outside the enum, the plain parse's report of a word
  // (the commands take words).
  const std::vector<std::string> not_messages = {"Program arguments:", "unknown BMFont form",
                                                 "Unknown option:"};
  std::size_t checked = 0;
  for (const Statement &s : statements)
    for (const std::string &literal : s.literals)
      for (const std::string &part : fragments(literal)) {
        if (std::any_of(not_messages.begin(), not_messages.end(),
                        [&](const std::string &text) { return literal.starts_with(text); }))
          continue;
        ++checked;
        EXPECT_NE(diagnostics.find(part), std::string::npos)
            << s.where << ": \"" << part << "\" is not in glyphmint-font.1's DIAGNOSTICS";
      }
  EXPECT_GT(checked, 60u) << "the scan found too few messages to be working";
}

} // namespace
