#include "core/prog-opts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// parse ends the process and the registry is process-wide, so every case runs
// in a forked child that registers its own options; the parent reads the
// child's standard output and exit status.
namespace {

Str g_dir;
i32 g_count = 7;
f32 g_scale = 1;
bool g_verbose = false;

void tool_options() {
  ProgOpts::add(ProgOpts::ArgumentStr{"dir", 'd', "Directory with *.glyphmint.ini settings.", "...",
                                      &g_dir, ProgOpts::Flags(1)});
}

void thrown_options() {
  tool_options();
  ProgOpts::throw_usage_errors();
}

void typed_options() {
  ProgOpts::add(
      ProgOpts::ArgumentS32{"count", 'c', "How many.", "n", &g_count, ProgOpts::Optional});
  ProgOpts::add_argument("scale", 's', "Scale.", "f", &g_scale, ProgOpts::TypeF32,
                         ProgOpts::Optional);
  ProgOpts::add(ProgOpts::Flag{"verbose", 'v', "Talk more.", &g_verbose});
}

void required_options() {
  ProgOpts::add(ProgOpts::ArgumentStr{"in", 'i', "Input.", "file", &g_dir, ProgOpts::Optional});
  ProgOpts::add(ProgOpts::ArgumentS32{"out", 'o', "Output.", "n", &g_count, ProgOpts::Required});
}

struct Outcome {
  int status; // exit status, or minus the signal that ended the child
  std::string out;
};

// When parse returns, the child prints what the targets hold and exits 0; an
// Err is printed the same way. With word_room at 0 or more the child parses
// through the positional opt-in with room for that many words and prints
// them first.
// The names the positional opt-in gets, when a test's setup sets them.
const char *const *g_word_names = nullptr;

Outcome run(void (*setup)(), std::vector<const char *> args, int word_room = -1) {
  int fds[2];
  if (pipe(fds) != 0) return {-1000, "pipe failed"};
  fflush(stdout); // or the child would repeat the parent's buffered text
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    setup();
    args.insert(args.begin(), "glyphmint");
    try {
      if (word_room < 0) {
        ProgOpts::parse(static_cast<i32>(args.size()), args.data());
      } else {
        StrView words[4];
        const u64 n = ProgOpts::parse(static_cast<i32>(args.size()), args.data(),
                                      ArrView<StrView>(words, u64(word_room)), g_word_names);
        printf("words=");
        for (u64 i = 0; i < n; ++i)
          printf("[%.*s]", static_cast<int>(words[i].len), words[i].len ? words[i].data : "");
        printf(" ");
      }
      printf("dir=[%.*s] count=%d scale=%g verbose=%d\n", static_cast<int>(g_dir.len),
             g_dir.len ? g_dir.data : "", g_count, static_cast<double>(g_scale), g_verbose);
    } catch (const Err &e) {
      printf("Err: %.*s\n", static_cast<int>(e.message.len), e.message.data);
    }
    fflush(stdout);
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<u64>(n));
  close(fds[0]);
  int ws = 0;
  waitpid(pid, &ws, 0);
  return {WIFEXITED(ws) ? WEXITSTATUS(ws) : -WTERMSIG(ws), out};
}

const std::string k_tool_help =
    "Program arguments:\n"
    "-h --help                           - Print this help text.\n"
    "-d --dir=<...>                      - Directory with *.glyphmint.ini settings.\n";
const std::string k_typed_help = "Program arguments:\n"
                                 "-h --help                           - Print this help text.\n"
                                 "-c --count                          - How many.\n"
                                 "-s --scale                          - Scale.\n"
                                 "-v --verbose                        - Talk more.\n";
const std::string k_untouched = " count=7 scale=1 verbose=0\n";

TEST(ProgOpts, ParseStoresValuesOrExitsWithMessageAndHelp) {
  struct Row {
    void (*setup)();
    std::vector<const char *> args;
    int status;
    std::string out;
  } rows[] = {
      {tool_options, {}, 0, "dir=[]" + k_untouched},
      {tool_options, {"--dir", "=", "x"}, 0, "dir=[x]" + k_untouched},
      {tool_options, {"--DIR=a", "-d", "b"}, 0, "dir=[b]" + k_untouched},
      {tool_options, {"--dir"}, 1, "Invalid usage of flag: dir\n" + k_tool_help},
      {tool_options, {"-d=x"}, 1, "Invalid usage of flag: -d=x\n" + k_tool_help},
      {tool_options, {""}, 1, "Invalid usage of flag: \n" + k_tool_help},
      {tool_options, {"--dirx=1"}, 1, "Unknown flag: --dirx=1\n" + k_tool_help},
      {tool_options, {"fonts"}, 1, "Unknown option: 43  (args count: 2)\n" + k_tool_help},
      {tool_options, {"-h"}, 0, k_tool_help},
      {tool_options, {"--dir=x", "--helpme"}, 0, k_tool_help},
      {typed_options, {"--count=0x10", "-s", "2.5"}, 0, "dir=[] count=16 scale=2.5 verbose=0\n"},
      {typed_options, {"-c", "010", "--verbose=1"}, 0, "dir=[] count=8 scale=1 verbose=1\n"},
      {typed_options, {"--count=-5"}, 0, "dir=[] count=-5 scale=1 verbose=0\n"},
      {typed_options, {"--count", "-5"}, 1, "Invalid usage of flag: count\n" + k_typed_help},
      {typed_options, {"--count=12abc"}, 1, "Invalid usage of flag: count\n" + k_typed_help},
      {typed_options, {"--scale=x"}, 1, "Invalid usage of flag: scale\n" + k_typed_help},
      {[] {
         typed_options();
         ProgOpts::set_value_error(&g_count, "--count takes a whole number.");
       },
       {"--count", "-5"},
       1,
       "--count takes a whole number.\n" + k_typed_help},
      {typed_options, {"-v", "yes"}, 1, "Unknown option: 43  (args count: 4)\n" + k_typed_help},
      {required_options, {"-o", "3"}, 0, "dir=[] count=3 scale=1 verbose=0\n"},
      {required_options,
       {"-i", "a"},
       1,
       "Error: argument --out is required but not set!\n"
       "Program arguments:\n"
       "-h --help                           - Print this help text.\n"
       "-i --in=<file>                      - Input.\n"
       "-o --out                            - Output.\n"},
      {[] {
         ProgOpts::add(ProgOpts::Flag{"-bad", 'b', "Bad.", &g_verbose});
       },
       {},
       0,
       "Err: error while creating getopt ctx, bad options-list?\n"},
      // A program that reports usage errors itself gets the reason alone;
      // --help is printed as ever.
      {thrown_options, {"--dirx=1"}, 0, "Err: Unknown flag: --dirx=1\n"},
      {thrown_options, {"-h"}, 0, k_tool_help},
  };
  for (const Row &row : rows) {
    std::string args;
    for (const char *a : row.args) args += std::string("[") + a + "]";
    const Outcome got = run(row.setup, row.args);
    EXPECT_EQ(got.status, row.status) << "args: " << args;
    EXPECT_EQ(got.out, row.out) << "args: " << args;
  }
}

TEST(ProgOpts, WordsOptInCollectsPlainWordsInOrder) {
  struct Row {
    std::vector<const char *> args;
    int word_room;
    int status;
    std::string out;
  } rows[] = {
      {{"a.fnt", "-d", "x", "b c"}, 3, 0, "words=[a.fnt][b c] dir=[x]" + k_untouched},
      {{}, 3, 0, "words= dir=[]" + k_untouched},
      {{"a", "--", "-d", "--", "--dir=y"}, 4, 0, "words=[a][-d][--][--dir=y] dir=[]" + k_untouched},
      {{"--", ""}, 1, 0, "words=[] dir=[]" + k_untouched},
      {{"a", "b", "-d", "x"}, 1, 1, "Unexpected argument: b\n" + k_tool_help},
      {{"a", "--", "b"}, 1, 1, "Unexpected argument: b\n" + k_tool_help},
      // Empty and "-" are words here, and "-" a value; the plain parse refuses both.
      {{"a", ""}, 2, 0, "words=[a][] dir=[]" + k_untouched},
      {{"-", "-d", "-"}, 2, 0, "words=[-] dir=[-]" + k_untouched},
      {{"-d", "-"}, -1, 1, "Invalid usage of flag: dir\n" + k_tool_help},
      {{"-x", "a"}, 2, 1, "Unknown flag: -x\n" + k_tool_help},
      // Without the opt-in a word stays a usage error, as it always was.
      {{"a", "--", "b"}, -1, 1, "Unknown option: 43  (args count: 2)\n" + k_tool_help},
  };
  for (const Row &row : rows) {
    std::string args;
    for (const char *a : row.args) args += std::string("[") + a + "]";
    const Outcome got = run(tool_options, row.args, row.word_room);
    EXPECT_EQ(got.status, row.status) << "args: " << args << " room: " << row.word_room;
    EXPECT_EQ(got.out, row.out) << "args: " << args << " room: " << row.word_room;
  }
}

TEST(ProgOpts, NamedWordsAreAllRequired) {
  const auto named = [] {
    tool_options();
    static const char *const names[] = {"FONT.fnt", "TEXT"};
    g_word_names = names;
  };
  EXPECT_EQ(run(named, {"a", "b"}, 2).out, "words=[a][b] dir=[]" + k_untouched);
  const Outcome got = run(named, {"a", "-d", "x"}, 2);
  EXPECT_EQ(got.status, 1);
  EXPECT_EQ(got.out, "Missing argument: TEXT\n" + k_tool_help);
}

TEST(ProgOpts, UsageErrorPrintsReasonSynopsisAndHelp) {
  const Outcome got = run(
      [] {
        tool_options();
        ProgOpts::set_synopsis("Usage: prog WORD");
        ProgOpts::usage_error("Missing argument: WORD");
      },
      {});
  EXPECT_EQ(got.status, 1);
  EXPECT_EQ(got.out, "Missing argument: WORD\nUsage: prog WORD\n" + k_tool_help);
}

// The record after the last one in use ends the list, so 30 options besides
// --help is the most the registry holds; one more used to write past it.
// Names are of equal width: a flag also matches any longer word it begins.
char g_names[31][16];
bool g_on[31];

void add_flags(unsigned n) {
  for (unsigned k = 0; k < n; ++k) {
    snprintf(g_names[k], sizeof g_names[k], "o%02u", k);
    ProgOpts::add(ProgOpts::Flag{g_names[k], 0, "", &g_on[k]});
  }
}

TEST(ProgOpts, RegistryHoldsThirtyOptionsAndRefusesMore) {
  const Outcome got = run([] { add_flags(30); }, {"--o29", "--verbose"});
  EXPECT_EQ(got.status, 1); // --o29 was taken, so only --verbose is left to complain about
  EXPECT_EQ(got.out.substr(0, got.out.find('\n')), "Unknown flag: --verbose");
  EXPECT_DEATH(add_flags(31),
               "Cannot register option --o30: at most 30 options fit besides --help");
}

} // namespace

// Repeatable text arguments and the usage errors a program finds after parse.
namespace {

List<Str> g_texts;

// Runs in a death-test child: prints the texts on standard error and exits 0,
// unless parse or the usage error asked for ends the process first.
[[noreturn]] void parse_texts(std::vector<const char *> args, bool then_usage_error) {
  ProgOpts::add(ProgOpts::ArgumentStrList{"text", 't', "A text file; may be repeated.", "file",
                                          &g_texts, ProgOpts::Optional});
  args.insert(args.begin(), "glyphmint-font");
  ProgOpts::parse(static_cast<i32>(args.size()), args.data());
  for (const Str &t : g_texts) fprintf(stderr, "[%.*s]", static_cast<int>(t.len), t.data);
  if (then_usage_error) ProgOpts::usage_error("Nothing to do.");
  exit(0);
}

TEST(ProgOptsLists, EveryOccurrenceAppendsInOrder) {
  using testing::ExitedWithCode;
  EXPECT_EXIT(parse_texts({"--text", "a", "-t", "b", "--TEXT=c", "-t", "a"}, false),
              ExitedWithCode(0), "^\\[a\\]\\[b\\]\\[c\\]\\[a\\]$");
  EXPECT_EXIT(parse_texts({"-t", "a", "--text"}, false), ExitedWithCode(1), "^$");
  EXPECT_EXIT(parse_texts({"-t", "a"}, true), ExitedWithCode(1), "^\\[a\\]$");
}

} // namespace
