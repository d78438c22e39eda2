#include "tools/glyphmint-font/export/page-owners.h"

#include "core/fmt.h"
#include "tools/glyphmint-font/export/baked-to-bmfont.h"

#include <cstring>
#include <vector>

namespace {

// Larger files are no descriptor of ours and are not read.
constexpr u64 k_largest_descriptor = u64{64} << 20;

// The files beside `out` whose pages would be named as out's are.
struct SameStem : IFileVisitor {
  Path out;
  std::vector<Str> names;

  [[nodiscard]] bool visit(const Path &path, FsType type) override {
    const StrView name = path.name();
    if (type == FsType::File && name != out.name() &&
        bmfont_page_path(Path(name)).view() == bmfont_page_path(Path(out.name())).view())
      names.push_back(Str(name));
    return true;
  }
};

bool names_page(StrView bytes, StrView page) {
  for (u64 from = 0; from < bytes.len;) {
    const u64 found = bytes.sub(from, StrView::npos).find(page);
    if (found == StrView::npos) return false;
    const u64 at = from + found;
    const u64 end = at + page.len;
    const char before = at == 0 ? '\0' : bytes.data[at - 1];
    const char after = end == bytes.len ? '\0' : bytes.data[end];
    if ((before == '"' || before == '\0') && (after == '"' || after == '\0')) return true;
    from = at + 1;
  }
  return false;
}

// The pages that exist and would change.
std::vector<const Path *> replaced(ArrView<const Output> pages) {
  std::vector<const Path *> changed;
  for (const Output &page : pages) {
    if (page.path.type() != FsType::File) continue;
    const Bytes before = page.path.read_bytes();
    if (before.len != page.bytes.count ||
        (before.len != 0 && std::memcmp(before.data, page.bytes.data, before.len) != 0))
      changed.push_back(&page.path);
  }
  return changed;
}

} // namespace

void refuse_replacing_others_pages(const Path &out, ArrView<const Output> pages) {
  const std::vector<const Path *> changed = replaced(pages);
  if (changed.empty()) return;
  SameStem beside;
  beside.out = Path(out.view());
  const Path dir = out.parent();
  (void)(dir.empty() ? Path(".") : dir).try_visit_dir(beside, FsDirMode::Default);
  for (const Str &name : beside.names) {
    const Path other = dir / name.view();
    if (other.file_size() > k_largest_descriptor) continue;
    Str bytes;
    try {
      bytes = other.read_text();
    } catch (const Err &) {
      continue; // unreadable, so no export of ours can rely on it
    }
    for (const Path *page : changed)
      if (names_page(bytes.view(), page->name()))
        throw Err(fmt(out, ": would replace ", *page, ", a page of ", other,
                      "; export under another name or remove ", other.name(), " first"));
  }
}
