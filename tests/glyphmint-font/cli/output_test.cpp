#include "tools/glyphmint-font/cli/output.h"

#include "tests/support/support.h"

#include <csignal>

namespace {

using support::read_file;
using support::ScratchDir;
using support::tree;
using support::write_file;

// write_output in a forked child whose files may grow to `size_limit` bytes at
// most (0: no limit): the exit status is 0 for success, 1 for the Err it
// threw, which the child prints to the pipe.
struct WriteOutcome {
  int status;
  std::string message;
};

WriteOutcome write_in_child(const std::string &path, const std::string &bytes, rlim_t size_limit) {
  int fds[2];
  if (pipe(fds) != 0) return {-1, "pipe failed"};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (size_limit != 0) {
      // Past the limit a write fails with EFBIG instead of raising SIGXFSZ.
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{size_limit, size_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    umask(022);
    try {
      write_output(Path(path.c_str()),
                   ArrView<const u8>(reinterpret_cast<const u8 *>(bytes.data()), bytes.size()));
    } catch (const Err &e) {
      (void)!write(fds[1], e.message.data, e.message.len);
      _exit(1);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string message;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) message.append(buf, size_t(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, message};
}

TEST(WriteOutput, ReplacesWholeOrLeavesTheEarlierFile) {
  const std::string big(256 * 1024, 'n');
  struct Row {
    const char *name;
    const char *target; // relative to the scratch directory
    rlim_t size_limit;
    bool written;
  } rows[] = {
      {"replaces an earlier file", "out.png", 0, true},
      {"a write that fails part way", "out.png", 64 * 1024, false},
      {"a missing directory", "missing/out.png", 0, false},
      {"a directory in the way", "dir", 0, false},
  };
  for (const Row &row : rows) {
    ScratchDir dir;
    write_file(dir.path() + "/out.png", "old");
    std::filesystem::create_directory(dir.path() + "/dir");
    const std::string target = dir.path() + "/" + row.target;
    const WriteOutcome got = write_in_child(target, big, row.size_limit);
    EXPECT_EQ(got.status, row.written ? 0 : 1) << row.name;
    // "<path>: cannot be written (<the system's reason>)"
    const std::string prefix = target + ": cannot be written (";
    EXPECT_TRUE(row.written ? got.message.empty()
                            : got.message.starts_with(prefix) && got.message.ends_with(")"))
        << row.name << ": " << got.message;
    EXPECT_EQ(read_file(dir.path() + "/out.png").size(), row.written ? big.size() : 3u) << row.name;
    EXPECT_EQ(tree(dir.path()), (std::set<std::string>{"dir", "out.png"})) << row.name;
    if (row.written) {
      struct stat st {};
      ASSERT_EQ(stat(target.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0644u) << row.name << ": the mode the umask allows";
    }
  }
}

TEST(WriteOutput, ReplacesALinksTargetAndWritesDevicesInPlace) {
  ScratchDir dir;
  const std::string d = dir.path();
  write_file(d + "/real.png", "old");
  std::filesystem::create_symlink("real.png", d + "/link.png");
  std::filesystem::create_symlink("/dev/null", d + "/null.png");
  EXPECT_EQ(write_in_child(d + "/link.png", "new", 0).status, 0);
  EXPECT_EQ(write_in_child(d + "/null.png", "new", 0).status, 0);
  EXPECT_EQ(read_file(d + "/real.png"), "new");
  EXPECT_TRUE(std::filesystem::is_symlink(d + "/link.png")) << "the link was replaced";
  EXPECT_TRUE(std::filesystem::is_symlink(d + "/null.png")) << "the device's link was replaced";
  const std::vector<std::string> names = support::listing_order(d);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
            (std::set<std::string>{"link.png", "null.png", "real.png"}))
      << "a temporary was left";
}

} // namespace
