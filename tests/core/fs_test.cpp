#include "core/fs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string s(StrView v) {
  return std::string(v.data == nullptr ? "" : v.data, v.len);
}
std::string s(const Path &p) {
  return s(p.view());
}

/// The message of the Err that f throws, or "<no Err>".
template <typename F> std::string err_of(F &&f) {
  try {
    f();
  } catch (const Err &e) {
    return s(e.message.view());
  }
  return "<no Err>";
}

/// Open file descriptors of this process, to catch leaked streams.
int open_fds() {
  int n = 0;
  DIR *d = opendir("/proc/self/fd");
  while (dirent *e = readdir(d)) n += e->d_name[0] != '.';
  closedir(d);
  return n;
}

void write_file(const std::string &path, const std::string &content) {
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!content.empty()) {
    ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), f), content.size());
  }
  ASSERT_EQ(std::fclose(f), 0);
}

bool exists(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

/// Records every call as "F path", "D path" or "end path"; can stop or throw
/// at a chosen visit, or refuse the end of a chosen directory.
struct Recorder : IFileVisitor {
  std::vector<std::string> events;
  int stop_at = -1;  // visit number (0-based) that returns false
  int throw_at = -1; // visit number that throws
  std::string refuse_end;
  int visits = 0;

  bool visit(const Path &path, FsType type) override {
    events.push_back((type == FsType::File ? "F " : "D ") + s(path));
    const int i = visits++;
    if (i == throw_at) throw Err("visitor gave up");
    return i != stop_at;
  }
  bool visit_dir_end(const Path &dir) override {
    events.push_back("end " + s(dir));
    return s(dir) != refuse_end;
  }
};

// ------------------------------------------------------------ text algebra

TEST(Path, NormalizeRewritesSeparators) {
  const struct {
    const char *in, *out;
  } rows[] = {
      {"", ""},
      {"/", "/"},
      {"//", "/"},
      {"\\", "/"},
      {"a\\\\b", "a/b"},
      {"a/b/", "a/b"},
      {"/a//b///", "/a/b"},
      {"a\\b//c/", "a/b/c"},
      {"./x/../y", "./x/../y"},
      {".hidden/", ".hidden"},
      {"a/", "a"},
      {"\\\\srv\\x", "/srv/x"},
  };
  for (const auto &row : rows) {
    Path p(row.in);
    p.normalize();
    EXPECT_EQ(s(p), row.out) << "input: " << row.in;
    EXPECT_EQ(s(Path(row.in).normalized()), row.out) << "input: " << row.in;
  }
}

TEST(Path, ConstructionKeepsTextAndEqualityIsExact) {
  const Path raw("a//b/");
  EXPECT_EQ(s(raw), "a//b/");
  EXPECT_EQ(s(raw.normalized()), "a/b");
  EXPECT_FALSE(raw == raw.normalized());
  EXPECT_TRUE(raw != raw.normalized());
  EXPECT_TRUE(raw == Path(StrView("a//b/")));
  EXPECT_EQ(raw.hash(), StrView("a//b/").hash());
  EXPECT_NE(raw.hash(), raw.normalized().hash());
  Str owned("x\\y");
  const char *block = owned.data;
  const Path taken(static_cast<Str &&>(owned));
  EXPECT_EQ(taken.text.data, block); // taken over, not copied
  EXPECT_EQ(s(Path()), "");
}

TEST(Path, HasParentCountsBothSeparators) {
  const struct {
    const char *in;
    bool out;
  } rows[] = {{"", false},       {"a", false},   {"a/b", false},
              {"/x", false},     {"/x/y", true}, {"a/b/c", true},
              {"a\\b\\c", true}, {"//", true},   {"/fonts/a.ttf", true}};
  for (const auto &row : rows) EXPECT_EQ(Path(row.in).has_parent(), row.out) << "input: " << row.in;
}

TEST(Path, ParentIsTextBeforeLastSeparator) {
  const struct {
    const char *in, *out;
  } rows[] = {{"", ""},      {"a", ""},       {"/x", ""},        {"/", ""},   {"/x/y", "/x"},
              {"a\\b", "a"}, {"a/b/", "a/b"}, {"a/b\\c", "a/b"}, {"//", "/"}, {"/a/b/c", "/a/b"}};
  for (const auto &row : rows) EXPECT_EQ(s(Path(row.in).parent()), row.out) << "input: " << row.in;
}

TEST(Path, ComponentsSkipEmptyRuns) {
  EXPECT_EQ(Path("/").components_count(), 0u);
  EXPECT_EQ(Path("").components_count(), 0u);
  EXPECT_EQ(Path("//a//b/").components_count(), 2u);
  EXPECT_EQ(Path("a\\b").components_count(), 1u); // only '/' separates here
  EXPECT_EQ(Path(".").components_count(), 1u);

  StrView out[4];
  const Path p("//a//bc/");
  EXPECT_EQ(p.get_components(out), 2u);
  EXPECT_EQ(s(out[0]), "a");
  EXPECT_EQ(s(out[1]), "bc");

  StrView two[2];
  const Path xyz("x/y/z");
  EXPECT_EQ(xyz.get_components(two), 2u); // stops when full
  EXPECT_EQ(s(two[0]), "x");
  EXPECT_EQ(s(two[1]), "y");
  EXPECT_EQ(Path("x/y").get_components(ArrView<StrView>()), 0u);
}

TEST(Path, NameAndExtensionFromFirstDot) {
  const struct {
    const char *in, *name, *stem, *ext;
  } rows[] = {
      {"fonts/x.glyphmint.ini", "x.glyphmint.ini", "x", ".glyphmint.ini"},
      {"dir.d/file", "file", "file", ""},
      {".hidden", ".hidden", "", ".hidden"},
      {"a/.cfg.ini", ".cfg.ini", "", ".cfg.ini"},
      {"a/b/", "", "", ""},
      {"", "", "", ""},
      {"/", "", "", ""},
      {"a\\b.c", "a\\b.c", "a\\b", ".c"}, // a backslash does not separate here
      {"name.", "name.", "name", "."},
  };
  for (const auto &row : rows) {
    const Path p(row.in);
    EXPECT_EQ(s(p.name()), row.name) << "input: " << row.in;
    EXPECT_EQ(s(p.name_without_ext()), row.stem) << "input: " << row.in;
    EXPECT_EQ(s(p.ext()), row.ext) << "input: " << row.in;
  }
  // The views point into the path's own text.
  const Path p("a/b.c");
  EXPECT_EQ(p.name().data, p.text.data + 2);
}

TEST(Path, WithExtReplacesFromFirstDot) {
  const struct {
    const char *in, *ext, *out;
  } rows[] = {
      {"x.glyphmint.ini", ".png", "x.png"},
      {"/p.q/r", ".png", "/p.q/r.png"},
      {"a/b.c.d", ".png", "a/b.png"},
      {"a/b", ".png", "a/b.png"},
      {".hidden", ".png", ".png"},
      {"a//b.x", "", "a//b"}, // not normalized
      {"", ".fnt", ".fnt"},
  };
  for (const auto &row : rows)
    EXPECT_EQ(s(Path(row.in).with_ext(row.ext)), row.out) << "input: " << row.in;
}

TEST(Path, JoinNormalizesUnlessFirstPartEmpty) {
  const struct {
    const char *a, *b, *out;
  } rows[] = {
      {"a/", "b", "a/b"},   {"a", "/b", "a/b"}, {"a", "", "a"},   {"", "x\\y", "x\\y"},
      {"", "a//b", "a//b"}, {"", "", ""},       {"/", "x", "/x"}, {"a\\", "b\\", "a/b"},
  };
  for (const auto &row : rows)
    EXPECT_EQ(s(Path::join(row.a, row.b)), row.out) << "a: " << row.a << ", b: " << row.b;

  EXPECT_EQ(s(Path::join("a", "", "c")), "a/c");
  EXPECT_EQ(s(Path::join("", "x//", "y")), "x/y");
  EXPECT_EQ(s(Path::join("", "", "y//")), "y//"); // two-part join of "" and y//
  EXPECT_EQ(s(Path::join("/r", "s", "t/")), "/r/s/t");

  EXPECT_EQ(s(Path::join(ArrView<StrView>())), "");
  StrView parts[] = {"a", "b/", "", "c"};
  EXPECT_EQ(s(Path::join(parts)), "a/b/c");
  StrView absolute[] = {"/", "usr"};
  EXPECT_EQ(s(Path::join(absolute)), "/usr");

  const Path base("fonts/");
  EXPECT_EQ(s(base / "a.ttf"), "fonts/a.ttf");
  EXPECT_EQ(s(base / Path("sub//b")), "fonts/sub/b");
  EXPECT_EQ(s(StrView("root") / Path("x")), "root/x");
  EXPECT_EQ(s(Path() / "x//y"), "x//y");
}

TEST(Path, RelativeToComparesComponents) {
  const struct {
    const char *path, *base, *out;
  } rows[] = {
      {"/data/out/x.png", "/data/src", "../out/x.png"},
      {"/a", "/a/b/c", "../.."},
      {"/a/b", "/a/b", ""},
      {"a/b", "/a", "b"}, // a leading '/' plays no part
      {"x", "", "x"},
      {"", "p/q", "../.."},
      {"/a//b/", "a/b/c", ".."},
  };
  for (const auto &row : rows)
    EXPECT_EQ(s(Path(row.path).relative_to(Path(row.base))), row.out)
        << "path: " << row.path << ", base: " << row.base;
}

std::string components(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += "/c" + std::to_string(i);
  return text;
}

TEST(Path, RelativeToAllowsFortyEightComponents) {
  const Path p48(components(48).c_str());
  const Path other48((components(47) + "/other").c_str());
  EXPECT_EQ(s(p48.relative_to(other48)), "../c47");
  EXPECT_EQ(s(p48.relative_to(Path("/x"))), "../" + components(48).substr(1));

  const Path p49(components(49).c_str());
  EXPECT_EQ(err_of([&] { (void)p49.relative_to(p48); }),
            "Too many path components: " + components(49));
  EXPECT_EQ(err_of([&] { (void)p48.relative_to(p49); }),
            "Too many path components: " + components(49));
  // Empty runs are not components: 48 real ones with doubled slashes pass.
  const Path doubled(("/" + components(48)).c_str());
  EXPECT_EQ(s(doubled.relative_to(p48)), "");
}

TEST(Path, FormatsAndEnumsPrint) {
  EXPECT_EQ(s(fmt("at ", Path("a//b"), '!')), "at a//b!");
  EXPECT_EQ(s(fmt(FsType::NoExists, ' ', FsType::File, ' ', FsType::Directory)),
            "NoExists File Directory");
  EXPECT_EQ(s(fmt(static_cast<FsType>(3))), "<unknown>");
  EXPECT_EQ(s(fmt(FsDirMode::Default, ' ', FsDirMode::Recursive)), "Default Recursive");
  EXPECT_EQ(s(fmt(static_cast<FsDirMode>(9))), "<unknown>");
}

TEST(Path, EmptyPathIsRejectedEvenByTryOperations) {
  const std::string msg = "Path is empty and cannot be used to do OS things";
  const Path empty;
  File f;
  Recorder r;
  EXPECT_EQ(err_of([&] { (void)empty.type(); }), msg);
  EXPECT_EQ(err_of([&] { (void)empty.file_size(); }), msg);
  EXPECT_EQ(err_of([&] { (void)f.try_open(empty, "rb"); }), msg);
  EXPECT_EQ(err_of([&] { (void)empty.try_create_dir(FsDirMode::Recursive); }), msg);
  EXPECT_EQ(err_of([&] { (void)empty.try_remove_dir(FsDirMode::Default); }), msg);
  EXPECT_EQ(err_of([&] { (void)empty.try_remove_file(); }), msg);
  EXPECT_EQ(err_of([&] { (void)empty.try_visit_dir(r, FsDirMode::Default); }), msg);
  EXPECT_EQ(err_of([&] { (void)empty.try_absolute(); }), msg);
  EXPECT_EQ(err_of([&] { (void)empty.read_text(); }), msg);
  EXPECT_TRUE(r.events.empty());
}

TEST(Path, PlatformPathsAreNormalAndAbsolute) {
  const Path cwd = Path::to_cwd();
  EXPECT_TRUE(cwd.view().starts_with('/'));
  EXPECT_TRUE(cwd == cwd.normalized());
  EXPECT_TRUE(Path::try_to_cwd() == cwd);
  EXPECT_TRUE(Path(".").absolute() == cwd);

  const Path exe = Path::to_exe();
  EXPECT_EQ(s(exe.name()), "fs_test");
  EXPECT_TRUE(Path::try_to_exe() == exe);
  EXPECT_TRUE(exe.absolute() == exe);

  EXPECT_EQ(s(Path("/").absolute()), "/");
  EXPECT_EQ(s(Path("/usr/../usr//").absolute()), "/usr");
  const Path missing("/no/such/dir/here");
  EXPECT_TRUE(missing.try_absolute().empty());
  EXPECT_EQ(err_of([&] { (void)missing.absolute(); }),
            "Cannot get absolute path for /no/such/dir/here");
}

// --------------------------------------------------------------- filesystem

/// Each test gets a fresh directory from mkdtemp, removed afterwards.
class FsTest : public ::testing::Test {
protected:
  std::string root;
  Path dir;

  void SetUp() override {
    char tmpl[] = "/tmp/fs_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    dir = Path(tmpl);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  std::string at(const std::string &rel) const { return root + "/" + rel; }
  Path path(const std::string &rel) const { return Path(at(rel).c_str()); }
  void mkdirs(const std::string &rel) const { std::filesystem::create_directories(at(rel)); }
  void file(const std::string &rel, const std::string &content = "") const {
    write_file(at(rel), content);
  }
};

/// Runs f in dir as the working directory, then goes back.
template <typename F> void in_dir(const std::string &d, F &&f) {
  const std::filesystem::path old = std::filesystem::current_path();
  ASSERT_EQ(chdir(d.c_str()), 0);
  f();
  ASSERT_EQ(chdir(old.c_str()), 0);
}

TEST_F(FsTest, TypeFollowsLinksAndIgnoresSpecialFiles) {
  mkdirs("d");
  file("f", "abc");
  ASSERT_EQ(mkfifo(at("fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink(at("nowhere").c_str(), at("dangling").c_str()), 0);
  ASSERT_EQ(symlink(at("d").c_str(), at("dlink").c_str()), 0);
  ASSERT_EQ(symlink(at("f").c_str(), at("flink").c_str()), 0);

  EXPECT_EQ(path("d").type(), FsType::Directory);
  EXPECT_EQ(path("f").type(), FsType::File);
  EXPECT_EQ(path("missing").type(), FsType::NoExists);
  EXPECT_EQ(path("fifo").type(), FsType::NoExists);
  EXPECT_EQ(path("dangling").type(), FsType::NoExists);
  EXPECT_EQ(path("dlink").type(), FsType::Directory);
  EXPECT_EQ(path("flink").type(), FsType::File);
  EXPECT_EQ(Path("/dev/null").type(), FsType::NoExists);

  EXPECT_EQ(path("f").file_size(), 3u);
  EXPECT_EQ(path("flink").file_size(), 3u);
  EXPECT_EQ(path("d").file_size(), 0u);
  EXPECT_EQ(path("missing").file_size(), 0u);
  EXPECT_EQ(path("fifo").file_size(), 0u);
}

TEST_F(FsTest, OsPathTakesAtMost508Characters) {
  // Build a real file whose path is exactly 508 characters long.
  const std::string a(200, 'a'), b(200, 'b');
  mkdirs(a + "/" + b);
  const std::string prefix = at(a + "/" + b) + "/";
  ASSERT_LT(prefix.size(), 508u);
  const std::string p508 = prefix + std::string(508 - prefix.size(), 'f');
  const std::string p509 = p508 + "g";
  ASSERT_EQ(p508.size(), 508u);
  write_file(p508, "x");

  EXPECT_EQ(Path(p508.c_str()).type(), FsType::File);
  File f;
  EXPECT_TRUE(f.try_open(Path(p508.c_str()), "rb"));
  EXPECT_EQ(s(Path(p508.c_str()).read_text()), "x");

  const std::string msg = "Path " + p509 + " is too large to fit in OsPath";
  EXPECT_EQ(err_of([&] { (void)Path(p509.c_str()).type(); }), msg);
  EXPECT_EQ(err_of([&] { (void)f.try_open(Path(p509.c_str()), "rb"); }), msg);
  EXPECT_EQ(f.stream, nullptr); // the open stream was closed first
  EXPECT_EQ(err_of([&] { (void)Path(p509.c_str()).try_remove_file(); }), msg);
  // A lexically long path that is never handed to the platform is fine.
  EXPECT_EQ(Path(p509.c_str()).name().len, p509.size() - prefix.size());
}

TEST_F(FsTest, EmptyDirectoryGetsOneEndCall) {
  Recorder r;
  EXPECT_TRUE(dir.try_visit_dir(r, FsDirMode::Recursive));
  EXPECT_EQ(r.events, std::vector<std::string>{"end " + root});

  Recorder refusing;
  refusing.refuse_end = root;
  EXPECT_FALSE(dir.try_visit_dir(refusing, FsDirMode::Default));
  EXPECT_EQ(err_of([&] { dir.visit_dir(refusing, FsDirMode::Default); }),
            "Cannot visit directory " + root);
}

TEST_F(FsTest, RecursiveWalkOfChainIsPreOrder) {
  mkdirs("a/b/c");
  file("a/b/c/f.txt");
  Recorder r;
  dir.visit_dir(r, FsDirMode::Recursive);
  const std::vector<std::string> expected = {
      "D " + at("a"),       "D " + at("a/b"),   "D " + at("a/b/c"), "F " + at("a/b/c/f.txt"),
      "end " + at("a/b/c"), "end " + at("a/b"), "end " + at("a"),   "end " + root,
  };
  EXPECT_EQ(r.events, expected);
}

/// Checks a recursive walk's events: each directory's contents lie between
/// its visit and its single end call, and the root's end comes last.
void expect_pre_order(const std::vector<std::string> &events, const std::string &root) {
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "end " + root);
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i].rfind("D ", 0) != 0) continue;
    const std::string d = events[i].substr(2);
    size_t end = events.size();
    int ends = 0;
    for (size_t j = 0; j < events.size(); ++j)
      if (events[j] == "end " + d) {
        end = j;
        ++ends;
      }
    ASSERT_EQ(ends, 1) << d;
    ASSERT_GT(end, i) << d;
    for (size_t j = 0; j < events.size(); ++j) {
      const size_t space = events[j].find(' ');
      const std::string p = events[j].substr(space + 1);
      const bool inside = p.rfind(d + "/", 0) == 0;
      EXPECT_EQ(inside, j > i && j < end) << "event " << events[j] << " around dir " << d;
    }
  }
}

TEST_F(FsTest, WalkModesVisitTheRightEntries) {
  mkdirs("d1/e1");
  mkdirs("d2");
  file("top.txt");
  file(".dotfile");
  file("d1/x");
  file("d1/e1/y");
  file("d2/z");
  ASSERT_EQ(mkfifo(at("d1/fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink(at("gone").c_str(), at("d2/dangling").c_str()), 0);

  Recorder flat;
  dir.visit_dir(flat, FsDirMode::Default);
  std::vector<std::string> sorted = flat.events;
  ASSERT_EQ(sorted.back(), "end " + root);
  sorted.pop_back();
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"D " + at("d1"), "D " + at("d2"),
                                              "F " + at(".dotfile"), "F " + at("top.txt")}));

  Recorder deep;
  dir.visit_dir(deep, FsDirMode::Recursive);
  expect_pre_order(deep.events, root);
  std::vector<std::string> all = deep.events;
  std::sort(all.begin(), all.end());
  EXPECT_EQ(
      all, (std::vector<std::string>{"D " + at("d1"), "D " + at("d1/e1"), "D " + at("d2"),
                                     "F " + at(".dotfile"), "F " + at("d1/e1/y"), "F " + at("d1/x"),
                                     "F " + at("d2/z"), "F " + at("top.txt"), "end " + root,
                                     "end " + at("d1"), "end " + at("d1/e1"), "end " + at("d2")}));
}

TEST_F(FsTest, WalkFollowsLinkedDirectories) {
  mkdirs("real");
  file("real/f");
  mkdirs("w");
  ASSERT_EQ(symlink(at("real").c_str(), at("w/link").c_str()), 0);
  Recorder r;
  path("w").visit_dir(r, FsDirMode::Recursive);
  EXPECT_EQ(r.events, (std::vector<std::string>{"D " + at("w/link"), "F " + at("w/link/f"),
                                                "end " + at("w/link"), "end " + at("w")}));
}

TEST_F(FsTest, WalkEntryPathsAreNormalEvenFromUnnormalRoot) {
  file("f");
  Recorder r;
  Path((root + "//").c_str()).visit_dir(r, FsDirMode::Default);
  EXPECT_EQ(r.events, (std::vector<std::string>{"F " + at("f"), "end " + root + "//"}));
}

TEST_F(FsTest, StoppedWalkMakesNoFurtherCalls) {
  mkdirs("a/b/c");
  file("a/b/c/f");
  const int before = open_fds();
  for (int stop = 0; stop < 4; ++stop) {
    Recorder r;
    r.stop_at = stop;
    EXPECT_FALSE(dir.try_visit_dir(r, FsDirMode::Recursive)) << "stop: " << stop;
    EXPECT_EQ(r.visits, stop + 1) << "stop: " << stop;
    for (const std::string &e : r.events) EXPECT_NE(e.rfind("end ", 0), 0u) << e;
    EXPECT_EQ(open_fds(), before) << "stop: " << stop; // every level's stream closed
  }
  Recorder first;
  first.stop_at = 0;
  EXPECT_EQ(err_of([&] { dir.visit_dir(first, FsDirMode::Recursive); }),
            "Cannot visit directory " + root);

  // A refused end of an inner directory stops the walk there.
  Recorder refusing;
  refusing.refuse_end = at("a/b");
  EXPECT_FALSE(dir.try_visit_dir(refusing, FsDirMode::Recursive));
  EXPECT_EQ(refusing.events.back(), "end " + at("a/b"));
}

TEST_F(FsTest, MissingDirectoryWalkFailsWithoutCalls) {
  Recorder r;
  EXPECT_FALSE(path("missing").try_visit_dir(r, FsDirMode::Recursive));
  file("plain");
  EXPECT_FALSE(path("plain").try_visit_dir(r, FsDirMode::Default));
  EXPECT_TRUE(r.events.empty());
  EXPECT_EQ(err_of([&] { path("missing").visit_dir(r, FsDirMode::Default); }),
            "Cannot visit directory " + at("missing"));
}

TEST_F(FsTest, ThrowingVisitorLeaksNoDirectoryStream) {
  mkdirs("a/b/c/d");
  file("a/b/c/d/f");
  const int before = open_fds();
  for (int at_visit = 0; at_visit < 5; ++at_visit) {
    Recorder r;
    r.throw_at = at_visit;
    EXPECT_EQ(err_of([&] { dir.visit_dir(r, FsDirMode::Recursive); }), "visitor gave up");
    EXPECT_EQ(open_fds(), before) << "throw at: " << at_visit;
  }
}

TEST_F(FsTest, TooLongEntryPathThrowsAndClosesStreams) {
  // A directory whose own path fits, holding an entry whose path does not.
  const std::string deep = std::string(200, 'a') + "/" + std::string(200, 'b');
  mkdirs(deep);
  const std::string longdir = at(deep) + "/" + std::string(500 - at(deep).size(), 'c');
  ASSERT_EQ(mkdir(longdir.c_str(), 0775), 0);
  write_file(longdir + "/0123456789", "x");

  const int before = open_fds();
  Recorder r;
  const std::string msg = err_of([&] { dir.visit_dir(r, FsDirMode::Recursive); });
  EXPECT_EQ(msg, "Path " + longdir + "/0123456789 is too large to fit in OsPath");
  EXPECT_EQ(open_fds(), before);
  // Removal meets the same entry and throws too, leaving the tree in place.
  EXPECT_EQ(err_of([&] { (void)dir.try_remove_dir(FsDirMode::Recursive); }), msg);
  EXPECT_EQ(open_fds(), before);
}

TEST_F(FsTest, CreateDirModes) {
  EXPECT_TRUE(path("one").try_create_dir(FsDirMode::Default));
  EXPECT_EQ(path("one").type(), FsType::Directory);
  EXPECT_FALSE(path("one").try_create_dir(FsDirMode::Default));
  EXPECT_EQ(err_of([&] { path("one").create_dir(FsDirMode::Default); }),
            "Cannot create directory " + at("one"));
  EXPECT_FALSE(path("no/parent").try_create_dir(FsDirMode::Default));
  EXPECT_FALSE(exists(at("no")));

  path("x/y/z/w").create_dir(FsDirMode::Recursive);
  EXPECT_EQ(path("x/y/z/w").type(), FsType::Directory);
  struct stat st;
  ASSERT_EQ(stat(at("x/y").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777 & ~0775u, 0u);

  EXPECT_TRUE(path("one").try_create_dir(FsDirMode::Recursive));
  file("plain");
  EXPECT_TRUE(path("plain").try_create_dir(FsDirMode::Recursive)); // anything there counts
  EXPECT_FALSE(path("plain/sub").try_create_dir(FsDirMode::Recursive));
  EXPECT_EQ(err_of([&] { path("plain/sub/deeper").create_dir(FsDirMode::Recursive); }),
            "Cannot create directory " + at("plain/sub/deeper"));
}

TEST_F(FsTest, RecursiveCreateOfRelativePath) {
  in_dir(root, [] {
    Path("a/b/c").create_dir(FsDirMode::Recursive);
    EXPECT_EQ(Path("a").type(), FsType::Directory);
    EXPECT_EQ(Path("a/b").type(), FsType::Directory);
    EXPECT_EQ(Path("a/b/c").type(), FsType::Directory);
  });
}

TEST_F(FsTest, RemoveDirModes) {
  mkdirs("t/a/b/c");
  mkdirs("t/e");
  file("t/f0", "0");
  file("t/a/f1", "1");
  file("t/a/b/f2", "2");
  file("t/a/b/c/f3", "3");
  file("t/a/b/c/.f4", "4");

  EXPECT_FALSE(path("t").try_remove_dir(FsDirMode::Default));
  EXPECT_EQ(err_of([&] { path("t").remove_dir(FsDirMode::Default); }),
            "Cannot remove directory " + at("t"));
  EXPECT_TRUE(exists(at("t/a/b/c/f3")));

  path("t").remove_dir(FsDirMode::Recursive);
  EXPECT_FALSE(exists(at("t")));
  EXPECT_FALSE(path("t").try_remove_dir(FsDirMode::Recursive));

  mkdirs("empty");
  path("empty").remove_dir(FsDirMode::Default);
  EXPECT_FALSE(exists(at("empty")));
}

// Following links while removing deleted the contents of directories outside
// the tree; a link is now removed itself and its target stays untouched.
TEST_F(FsTest, RecursiveRemovalNeverReachesThroughLinks) {
  mkdirs("outside/keep");
  file("outside/keep/precious", "x");
  file("outside-file", "y");
  mkdirs("t/sub");
  ASSERT_EQ(symlink(at("outside").c_str(), at("t/sub/to-dir").c_str()), 0);
  ASSERT_EQ(symlink(at("outside-file").c_str(), at("t/to-file").c_str()), 0);

  path("t").remove_dir(FsDirMode::Recursive);
  EXPECT_FALSE(exists(at("t")));
  EXPECT_TRUE(exists(at("outside/keep/precious")));
  EXPECT_TRUE(exists(at("outside-file")));

  // A link given as the tree itself is refused and its target kept.
  ASSERT_EQ(symlink(at("outside").c_str(), at("link-root").c_str()), 0);
  EXPECT_FALSE(path("link-root").try_remove_dir(FsDirMode::Recursive));
  EXPECT_TRUE(exists(at("outside/keep/precious")));
}

TEST_F(FsTest, RemoveFile) {
  file("f", "x");
  path("f").remove_file();
  EXPECT_FALSE(exists(at("f")));
  EXPECT_FALSE(path("f").try_remove_file());
  EXPECT_EQ(err_of([&] { path("f").remove_file(); }), "Cannot remove file " + at("f"));
  mkdirs("d");
  EXPECT_FALSE(path("d").try_remove_file());
}

TEST_F(FsTest, ReadersOnEmptyFile) {
  file("empty");
  const Str text = path("empty").read_text();
  EXPECT_EQ(text.len, 0u);
  EXPECT_EQ(text.data, nullptr);
  const Str ctext = path("empty").read_ctext();
  ASSERT_EQ(ctext.len, 1u);
  EXPECT_EQ(ctext.data[0], '\0');
  const Bytes bytes = path("empty").read_bytes();
  EXPECT_EQ(bytes.len, 0u);
  EXPECT_EQ(bytes.data, nullptr);
}

TEST_F(FsTest, ReadersOnMissingFile) {
  const std::string msg = "Cannot open file " + at("missing") + " (mode: rb)";
  EXPECT_EQ(err_of([&] { (void)path("missing").read_text(); }), msg);
  EXPECT_EQ(err_of([&] { (void)path("missing").read_ctext(); }), msg);
  EXPECT_EQ(err_of([&] { (void)path("missing").read_bytes(); }), msg);
}

TEST_F(FsTest, ReadersOnLargeFile) {
  std::string content(3 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 131) ^ (i >> 9));
  file("big.bin", content);

  const Str text = path("big.bin").read_text();
  ASSERT_EQ(text.len, content.size());
  EXPECT_EQ(std::memcmp(text.data, content.data(), content.size()), 0);

  const Str ctext = path("big.bin").read_ctext();
  ASSERT_EQ(ctext.len, content.size() + 1);
  EXPECT_EQ(std::memcmp(ctext.data, content.data(), content.size()), 0);
  EXPECT_EQ(ctext.data[content.size()], '\0');

  Bytes bytes = path("big.bin").read_bytes();
  ASSERT_EQ(bytes.len, content.size());
  EXPECT_EQ(std::memcmp(bytes.data, content.data(), content.size()), 0);

  Bytes moved(static_cast<Bytes &&>(bytes));
  EXPECT_EQ(bytes.data, nullptr);
  EXPECT_EQ(moved.len, content.size());
  bytes = static_cast<Bytes &&>(moved);
  EXPECT_EQ(bytes.len, content.size());
}

TEST_F(FsTest, FileOpenAndMove) {
  file("a", "AAA");
  file("b", "BB");
  File missing;
  EXPECT_FALSE(missing.try_open(path("nope"), "rb"));
  EXPECT_EQ(missing.stream, nullptr);
  EXPECT_EQ(err_of([&] { File f(path("nope"), "rb"); }),
            "Cannot open file " + at("nope") + " (mode: rb)");

  const int before = open_fds();
  File f(path("a"), "rb");
  EXPECT_EQ(open_fds(), before + 1);
  f.open(path("b"), "rb"); // the first stream is closed, not leaked
  EXPECT_EQ(open_fds(), before + 1);
  EXPECT_EQ(err_of([&] { f.open(path("nope"), "r+"); }),
            "Cannot open file " + at("nope") + " (mode: r+)");
  EXPECT_EQ(f.stream, nullptr);
  EXPECT_EQ(open_fds(), before);

  File g(path("a"), "rb");
  File h(static_cast<File &&>(g));
  EXPECT_EQ(g.stream, nullptr);
  File k(path("b"), "rb");
  k = static_cast<File &&>(h); // k's own stream is closed
  EXPECT_EQ(open_fds(), before + 1);
  File &self = k;
  k = static_cast<File &&>(self);
  EXPECT_NE(k.stream, nullptr);
  u8 buf[3];
  k.read_bytes(buf);
  EXPECT_EQ(std::memcmp(buf, "AAA", 3), 0);
  EXPECT_TRUE(k.try_close());
  EXPECT_TRUE(k.try_close()); // nothing open
  EXPECT_EQ(open_fds(), before);
}

TEST_F(FsTest, FileReadBytes) {
  file("f", "hello");
  File f(path("f"), "rb");
  u8 two[2];
  f.read_bytes(two);
  EXPECT_EQ(std::memcmp(two, "he", 2), 0);
  u8 five[5] = {};
  EXPECT_FALSE(f.try_read_bytes(five)); // only 3 left
  EXPECT_EQ(err_of([&] { f.read_bytes(five); }), "Cannot read file");
  EXPECT_TRUE(f.try_read_bytes(ArrView<u8>()));

  File closed;
  EXPECT_TRUE(closed.try_read_bytes(ArrView<u8>()));
  EXPECT_FALSE(closed.try_read_bytes(two));

  File w(path("f"), "wb");
  EXPECT_FALSE(w.try_read_bytes(two)); // a write-only stream sets the error flag
}

TEST_F(FsTest, FileWriteRoundTripAndZeroBytesDoNotFlush) {
  File f(path("out"), "wb");
  const u8 data[] = {1, 2, 3, 4};
  f.write_bytes(ArrView<const u8>(data, 4));
  EXPECT_EQ(path("out").file_size(), 4u); // flushed once per call

  ASSERT_EQ(std::fwrite("zz", 1, 2, f.stream), 2u); // buffered, not yet on disk
  EXPECT_TRUE(f.try_write_bytes(ArrView<const u8>()));
  EXPECT_EQ(path("out").file_size(), 4u);
  EXPECT_TRUE(f.try_close());
  EXPECT_EQ(path("out").file_size(), 6u);

  File closed;
  EXPECT_TRUE(closed.try_write_bytes(ArrView<const u8>()));
  EXPECT_FALSE(closed.try_write_bytes(ArrView<const u8>(data, 4)));
}

TEST(File, WriteToFullDeviceFails) {
  const Path full("/dev/full");
  const u8 small[] = {'x'};
  {
    File f(full, "wb");
    EXPECT_FALSE(f.try_write_bytes(ArrView<const u8>(small, 1))); // fails at the flush
  }
  {
    File f(full, "wb");
    EXPECT_EQ(err_of([&] { f.write_bytes(ArrView<const u8>(small, 1)); }), "Cannot write file");
  }
  std::vector<u8> big(1 << 20, 7);
  {
    File f(full, "wb");
    EXPECT_FALSE(f.try_write_bytes(ArrView<const u8>(big.data(), big.size())));
    EXPECT_EQ(err_of([&] { f.write_bytes(ArrView<const u8>(big.data(), big.size())); }),
              "Cannot write file");
  }
  {
    // Data left in the buffer is lost at close, and try_close says so.
    File f(full, "wb");
    ASSERT_EQ(std::fwrite("abc", 1, 3, f.stream), 3u);
    EXPECT_FALSE(f.try_close());
    EXPECT_EQ(f.stream, nullptr);
  }
}

// ------------------------------------------------------------- AtomicFile

/// Every entry below `dir`, relative and sorted, a temporary's random part as XXXXXX.
std::vector<std::string> entries(const std::string &dir) {
  std::vector<std::string> names;
  for (const auto &e : std::filesystem::recursive_directory_iterator(dir)) {
    std::string name = e.path().lexically_relative(dir).string();
    const std::size_t tag = name.rfind(".glyphmint-");
    if (tag != std::string::npos && name.size() == tag + 17) name.replace(tag + 11, 6, "XXXXXX");
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void write_text(const AtomicFile &out, const std::string &text) {
  EXPECT_TRUE(out.file().try_write_bytes(
      ArrView<const u8>(reinterpret_cast<const u8 *>(text.data()), text.size())));
}

TEST_F(FsTest, AtomicFileReplacesTheTargetOnlyOnCommit) {
  const std::string long_name = "d/" + std::string(250, 'n'); // its temporary's is cut
  struct Case {
    const char *what;
    std::vector<std::pair<std::string, std::string>> links; // name, link text
    std::string target;                                     // what a write through "out" reaches
    bool existing;
  } cases[] = {{"new file", {}, "out", false},
               {"existing file", {}, "out", true},
               {"link to a file", {{"out", "d/target"}}, "d/target", true},
               {"dangling link", {{"out", "d/target"}}, "d/target", false},
               {"chain of links", {{"out", "hop"}, {"hop", at("d/target")}}, "d/target", true},
               {"long name", {{"out", long_name}}, long_name, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(root);
    mkdirs("d");
    if (c.existing) file(c.target, "old");
    for (const auto &[name, text] : c.links) ASSERT_EQ(symlink(text.c_str(), at(name).c_str()), 0);
    const auto before = entries(root);
    auto with_temp = before;
    const std::filesystem::path target(c.target);
    with_temp.push_back(target.parent_path() /
                        ("." + target.filename().string().substr(0, 200) + ".glyphmint-XXXXXX"));
    std::sort(with_temp.begin(), with_temp.end());
    {
      AtomicFile dropped;
      ASSERT_TRUE(dropped.try_open(path("out")));
      write_text(dropped, "new");
      EXPECT_EQ(entries(root), with_temp) << "the temporary lies beside the target";
    } // never committed: the destructor removes it
    EXPECT_EQ(entries(root), before);
    if (c.existing) {
      EXPECT_EQ(s(path(c.target).read_text()), "old");
    }

    AtomicFile out;
    out.open(path("out"));
    write_text(out, "new");
    out.commit();
    EXPECT_EQ(s(path(c.target).read_text()), "new");
    auto after = before;
    if (!c.existing) after.push_back(c.target);
    std::sort(after.begin(), after.end());
    EXPECT_EQ(entries(root), after) << "links stay links, no temporary stays";
  }
}

TEST_F(FsTest, AtomicFileWritesAFifoInPlaceAndKeepsModes) {
  // Renaming over a FIFO or a device would replace the node (as root even
  // /dev/full): such an output is written in place, as fopen "wb" does.
  ASSERT_EQ(mkfifo(at("fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink("fifo", at("link").c_str()), 0);
  const int reader = ::open(at("fifo").c_str(), O_RDONLY | O_NONBLOCK); // so opening won't block
  ASSERT_GE(reader, 0);
  AtomicFile out;
  out.open(path("link"));
  write_text(out, "abc");
  EXPECT_TRUE(out.try_commit());
  char got[8] = {};
  EXPECT_EQ(read(reader, got, sizeof got), 3);
  close(reader);
  EXPECT_STREQ(got, "abc");
  EXPECT_EQ(path("link").type(), FsType::NoExists) << "still a FIFO, not a file";

  // A new file gets 0666 less the umask, a replaced one keeps its permissions.
  file("kept", "old");
  ASSERT_EQ(chmod(at("kept").c_str(), 0604), 0);
  const mode_t old_mask = umask(027);
  for (const char *name : {"new", "kept"}) {
    out.open(path(name));
    out.commit();
  }
  umask(old_mask);
  struct stat st;
  EXPECT_TRUE(stat(at("new").c_str(), &st) == 0 && (st.st_mode & 07777) == 0640);
  EXPECT_TRUE(stat(at("kept").c_str(), &st) == 0 && (st.st_mode & 07777) == 0604);
}

TEST_F(FsTest, AtomicFileFailuresLeaveThePreviousFile) {
  file("out", "old");
  const auto before = entries(root);
  AtomicFile out;
  out.open(path("out"));
  // The stream now fails as on a full disk.
  const int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(dup2(full, fileno(out.file().stream)), 0);
  close(full);
  EXPECT_FALSE(out.file().try_write_bytes(ArrView<const u8>(reinterpret_cast<const u8 *>("x"), 1)));
  EXPECT_EQ(err_of([&] { out.commit(); }), "Cannot write file " + at("out"));
  EXPECT_FALSE(out.try_commit()) << "nothing open any more";

  out.open(path("late"));
  mkdirs("late/x"); // the final name is taken by a directory: the rename fails
  EXPECT_FALSE(out.try_commit());
  std::filesystem::remove_all(at("late"));

  out.open(path("out"));
  out.discard();                   // what a caller does before abort, which runs no destructors
  EXPECT_FALSE(out.try_open(dir)); // a directory, on which fopen fails too
  EXPECT_EQ(err_of([&] { out.open(path("missing/out")); }),
            "Cannot open file " + at("missing/out") + " (mode: wb)");
  EXPECT_EQ(entries(root), before);
  EXPECT_EQ(s(path("out").read_text()), "old");
}

TEST_F(FsTest, FindDirUp) {
  mkdirs("x/target");
  mkdirs("x/y/z");
  file("x/y/target"); // a file of that name does not count
  EXPECT_EQ(s(path("x/y/z").find_dir_up("target")), at("x/target"));
  EXPECT_EQ(s(path("x").find_dir_up("target")), at("x/target"));
  EXPECT_EQ(s(path("x/y").find_dir_up("z")), at("x/y/z")); // the path itself is tried first
  EXPECT_EQ(err_of([&] { (void)path("x/y/z").find_dir_up("absent"); }), "cannot find dir: absent");
  // The top level is never searched: /tmp exists but is not found.
  EXPECT_EQ(err_of([&] { (void)path("x/y").find_dir_up("tmp"); }), "cannot find dir: tmp");
}

TEST_F(FsTest, FindDirUpFromEmptyPathTriesNameOnly) {
  mkdirs("here");
  in_dir(root, [] {
    EXPECT_EQ(s(Path().find_dir_up("here")), "here");
    EXPECT_EQ(err_of([] { (void)Path().find_dir_up("absent"); }), "cannot find dir: absent");
  });
}

} // namespace
