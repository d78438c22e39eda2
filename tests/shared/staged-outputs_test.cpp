#include "shared/staged-outputs.h"

#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using support::read_file;
using support::ScratchDir;
using support::tree;
using support::write_file;

TEST(StagedOutputs, ARenameThatFailsPutsTheFilesBeforeItBack) {
  // Something takes the last name between the writes and the renames: a
  // directory with a file in it, which no file can be renamed over.
  struct Row {
    const char *what;
    bool earlier_files;
    bool blocked;
  } rows[] = {{"earlier files", true, true},
              {"no earlier files", false, true},
              {"nothing in the way", true, false}};
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDir dir;
    const std::string d = dir.path();
    for (const char *name : {"/a.png", "/b.png"})
      if (row.earlier_files) write_file(d + name, "old");
    write_file(d + "/c.fnt", "old");
    const Path a((d + "/a.png").c_str()), b((d + "/b.png").c_str()), c((d + "/c.fnt").c_str());
    const u8 bytes[] = {'n', 'e', 'w'};
    const Output outputs[] = {{a, bytes}, {b, bytes}, {c, bytes}};
    StagedOutputs staged;
    OutputFailure failure;
    ASSERT_TRUE(staged.try_stage(outputs, failure));
    if (row.blocked) {
      std::filesystem::remove(d + "/c.fnt");
      std::filesystem::create_directory(d + "/c.fnt");
      write_file(d + "/c.fnt/inside", "");
    }
    EXPECT_EQ(staged.try_commit(failure), !row.blocked);
    if (row.blocked) {
      EXPECT_EQ(failure.index, 2u);
      EXPECT_EQ(failure.error, EISDIR);
    }
    const std::string a_now = row.blocked ? (row.earlier_files ? "old" : "") : "new";
    EXPECT_EQ(read_file(d + "/a.png"), a_now);
    EXPECT_EQ(read_file(d + "/b.png"), a_now);
    std::set<std::string> want = {"c.fnt"};
    if (row.blocked) want.insert("c.fnt/inside");
    if (row.earlier_files || !row.blocked) want.insert({"a.png", "b.png"});
    EXPECT_EQ(tree(d), want) << "a file was lost or a temporary left";
  }
}

} // namespace
