#include "core/fs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

/// The NUL-terminated copy of a Path that every platform call takes. Building
/// one allocates nothing; the text is passed on exactly as written.
struct OsPath {
  static constexpr u64 capacity = 512;
  static constexpr u64 max_length = Path::max_os_length;

  char buffer[capacity];
  u64 length = 0;

  explicit OsPath(const Path &path) {
    std::memset(buffer, 0, capacity);
    if (path.text.len == 0) throw Err("Path is empty and cannot be used to do OS things");
    if (path.text.len > max_length) throw Err(fmt("Path ", path, " is too large to fit in OsPath"));
    std::memcpy(buffer, path.text.data, path.text.len);
    length = path.text.len;
  }

  [[nodiscard]] const char *c_str() const { return buffer; }
};

/// A path the platform handed back: the characters up to the first NUL, normalized.
Path path_from_os(const char *buffer) {
  Path p{StrView(buffer)};
  p.normalize();
  return p;
}

bool is_sep(char c) {
  return c == '/' || c == '\\';
}

u64 count_seps(StrView s) {
  u64 n = 0;
  for (char c : s) n += is_sep(c) ? 1u : 0u;
  return n;
}

FsType classify(const OsPath &os, struct stat &st) {
  if (::stat(os.c_str(), &st) != 0) return FsType::NoExists;
  if (S_ISREG(st.st_mode)) return FsType::File;
  if (S_ISDIR(st.st_mode)) return FsType::Directory;
  return FsType::NoExists;
}

FsType classify(const OsPath &os) {
  struct stat st;
  return classify(os, st);
}

/// Bytes that a whole-file reader should expect: the size of a regular file, else 0.
u64 size_to_read(const Path &path) {
  struct stat st;
  return classify(OsPath(path), st) == FsType::File ? static_cast<u64>(st.st_size) : 0;
}

/// Closes a directory stream on every way out of a walk level.
struct DirGuard {
  DIR *dir;
  explicit DirGuard(DIR *d) : dir(d) {}
  DirGuard(const DirGuard &) = delete;
  DirGuard &operator=(const DirGuard &) = delete;
  ~DirGuard() { close(); }
  void close() {
    if (dir != nullptr) ::closedir(dir);
    dir = nullptr;
  }
};

bool is_symlink(const Path &path) {
  struct stat st;
  return ::lstat(OsPath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

/// enter_links false keeps a recursive walk out of directories reached through
/// a symbolic link (removal must never reach outside the tree it removes).
bool walk(const Path &dir, IFileVisitor &visitor, FsDirMode mode, bool enter_links = true) {
  DirGuard guard(::opendir(OsPath(dir).c_str()));
  if (guard.dir == nullptr) return false;
  for (;;) {
    // readdir signals both the end and an error with null; only errno tells
    // them apart, and a listing that broke off is not a finished walk.
    errno = 0;
    const dirent *entry = ::readdir(guard.dir);
    if (entry == nullptr) {
      if (errno != 0) return false;
      break;
    }
    const StrView entry_name(entry->d_name);
    if (entry_name == StrView(".") || entry_name == StrView("..")) continue;
    const Path entry_path = Path::join(dir.view(), entry_name);
    const FsType type = classify(OsPath(entry_path));
    if (type == FsType::NoExists) continue;
    // Asked before the visit, which may remove the link.
    const bool enter = mode == FsDirMode::Recursive && type == FsType::Directory &&
                       (enter_links || !is_symlink(entry_path));
    if (!visitor.visit(entry_path, type)) return false;
    if (enter && !walk(entry_path, visitor, mode, enter_links)) return false;
  }
  guard.close();
  return visitor.visit_dir_end(dir);
}

/// Unlinks files as the walk meets them and removes each directory after its
/// contents, so the walk's root goes last. A symbolic link is removed itself,
/// never what it points to: the walk does not enter linked directories.
struct RemoveVisitor final : IFileVisitor {
  bool visit(const Path &path, FsType type) override {
    if (type != FsType::File && !is_symlink(path)) return true;
    return ::unlink(OsPath(path).c_str()) == 0;
  }
  bool visit_dir_end(const Path &dir) override { return ::rmdir(OsPath(dir).c_str()) == 0; }
};

/// buffer holds a NUL-terminated text of len characters; it is cut and
/// restored in place while the parents are created top-down.
bool create_dir_recursive(char *buffer, u64 len) {
  struct stat st;
  if (::stat(buffer, &st) == 0) return true;
  u64 slash = len;
  while (slash > 0 && buffer[slash - 1] != '/') --slash;
  if (slash > 1) { // a '/' with something before it
    const u64 cut = slash - 1;
    buffer[cut] = '\0';
    const bool ok = create_dir_recursive(buffer, cut);
    buffer[cut] = '/';
    if (!ok) return false;
  }
  return ::mkdir(buffer, 0775) == 0;
}

/// Whether the directory holding this path's last component is under /proc.
bool in_proc(const char *path) {
  const char *slash = std::strrchr(path, '/');
  char dir[PATH_MAX];
  if (slash == nullptr) {
    dir[0] = '.';
    dir[1] = '\0';
  } else {
    const u64 len = slash == path ? 1 : static_cast<u64>(slash - path);
    std::memcpy(dir, path, len);
    dir[len] = '\0';
  }
  struct statfs fs;
  return ::statfs(dir, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

/// Follows symbolic links at the path itself (not in its directories) to the
/// name that a write through it reaches, which need not exist yet; in_place
/// when a link lies under /proc. False for a loop or a name too long, where
/// fopen fails too.
bool write_target(const OsPath &os, char (&out)[PATH_MAX], bool &in_place) {
  std::memcpy(out, os.c_str(), os.length + 1);
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(out, &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    if (in_proc(out)) {
      // /dev/stdout and /dev/fd/N lead to a descriptor's link under /proc,
      // whose file a shell may hold open: replacing it would leave the shell
      // writing to a file that no longer has a name.
      in_place = true;
      return true;
    }
    char link[PATH_MAX];
    const ssize_t n = ::readlink(out, link, sizeof link);
    if (n <= 0 || n >= PATH_MAX) return false;
    // A relative link is read from the directory the link lies in.
    u64 dir_len = 0;
    if (link[0] != '/') {
      const char *slash = std::strrchr(out, '/');
      dir_len = slash == nullptr ? 0 : static_cast<u64>(slash - out) + 1;
    }
    if (dir_len + static_cast<u64>(n) >= PATH_MAX) return false;
    std::memcpy(out + dir_len, link, static_cast<u64>(n));
    out[dir_len + static_cast<u64>(n)] = '\0';
  }
  return false;
}

/// Six name characters unlikely to be in use; O_EXCL decides whether they are.
void unique_suffix(char (&out)[6]) {
  static u64 counter = 0;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  u64 x = static_cast<u64>(now.tv_nsec) ^ (static_cast<u64>(now.tv_sec) << 30) ^
          (static_cast<u64>(::getpid()) << 42) ^ (++counter * 0x9E3779B97F4A7C15ull);
  // splitmix64's finaliser spreads every input bit over the output.
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  x ^= x >> 31;
  static constexpr char alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (char &c : out) {
    c = alphabet[x % (sizeof(alphabet) - 1)];
    x /= sizeof(alphabet) - 1;
  }
}

/// Creates ".<name>.glyphmint-XXXXXX" beside `target`, with the mode 0666 that
/// the umask reduces as it does for fopen; its name, NUL-terminated, goes to
/// `temp`. Returns the descriptor, or -1.
int create_temp(const char *target, Str &temp) {
  const StrView t(target);
  const u64 slash = t.find_last('/');
  const StrView dir = slash == StrView::npos ? StrView() : t.sub(0, slash + 1);
  StrView name = slash == StrView::npos ? t : t.sub(slash + 1, StrView::npos);
  // A long name is cut so that the temporary's stays within NAME_MAX.
  if (name.len > 200) name = name.sub(0, 200);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[6];
    unique_suffix(suffix);
    StrBuilder b;
    fmt(b, dir, '.', name, ".glyphmint-", StrView(suffix, sizeof suffix), '\0');
    const int fd = ::open(b.data, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      temp = b.to_string();
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

} // namespace

// ----------------------------------------------------------------- visitors

IFileVisitor::~IFileVisitor() = default;

bool IFileVisitor::visit_dir_end(const Path &) {
  return true;
}

Bytes &Bytes::operator=(Bytes &&o) noexcept {
  if (&o == this) return *this;
  delete[] data;
  data = o.data;
  len = o.len;
  o.data = nullptr;
  o.len = 0;
  return *this;
}

// ------------------------------------------------------------- text algebra

Path &Path::normalize() {
  char *d = text.data;
  const u64 n = text.len;
  u64 w = 0;
  bool prev_sep = false;
  for (u64 r = 0; r < n; ++r) {
    const char c = d[r] == '\\' ? '/' : d[r];
    if (c == '/') {
      if (!prev_sep) d[w++] = '/';
      prev_sep = true;
    } else {
      d[w++] = c;
      prev_sep = false;
    }
  }
  if (prev_sep && w >= 2) --w;
  text.resize(w);
  return *this;
}

Path Path::normalized() const {
  Path p(text);
  p.normalize();
  return p;
}

bool Path::has_parent() const {
  return count_seps(view()) >= 2;
}

Path Path::parent() const {
  u64 i = text.len;
  while (i > 0 && !is_sep(text.data[i - 1])) --i;
  if (i == 0) return Path();
  return Path(StrView(text.data, i - 1));
}

u64 Path::components_count() const {
  u64 n = 0;
  bool in_component = false;
  for (char c : view()) {
    if (c == '/') {
      in_component = false;
    } else if (!in_component) {
      in_component = true;
      ++n;
    }
  }
  return n;
}

u64 Path::get_components(ArrView<StrView> out) const {
  u64 written = 0;
  u64 start = 0;
  const u64 n = text.len;
  for (u64 i = 0; i <= n && written < out.count; ++i) {
    if (i == n || text.data[i] == '/') {
      if (i > start) out[written++] = StrView(text.data + start, i - start);
      start = i + 1;
    }
  }
  return written;
}

StrView Path::name() const {
  const StrView v = view();
  const u64 slash = v.find_last('/');
  return slash == StrView::npos ? v : v.sub(slash + 1, StrView::npos);
}

StrView Path::name_without_ext() const {
  const StrView n = name();
  const u64 dot = n.find('.');
  return dot == StrView::npos ? n : n.sub(0, dot);
}

StrView Path::ext() const {
  const StrView n = name();
  const u64 dot = n.find('.');
  return dot == StrView::npos ? StrView() : n.sub(dot, StrView::npos);
}

Path Path::with_ext(StrView extension) const {
  const StrView stem = StrView(text.data, text.len - ext().len);
  return Path(stem + extension);
}

Path Path::relative_to(const Path &base) const {
  constexpr u64 max_components = 48;
  StrView mine[max_components];
  StrView theirs[max_components];
  if (components_count() > max_components) throw Err(fmt("Too many path components: ", *this));
  const u64 n_mine = get_components(mine);
  if (base.components_count() > max_components) throw Err(fmt("Too many path components: ", base));
  const u64 n_theirs = base.get_components(theirs);

  u64 k = 0;
  while (k < n_mine && k < n_theirs && mine[k] == theirs[k]) ++k;

  StrView result[2 * max_components];
  u64 count = 0;
  for (u64 i = k; i < n_theirs; ++i) result[count++] = StrView("..");
  for (u64 i = k; i < n_mine; ++i) result[count++] = mine[i];
  return join(ArrView<StrView>(result, count));
}

Path Path::join(StrView a, StrView b) {
  if (a.empty()) return Path(b);
  Str s(a.len + 1 + b.len);
  std::memcpy(s.data, a.data, a.len);
  s.data[a.len] = '/';
  if (b.len != 0) std::memcpy(s.data + a.len + 1, b.data, b.len);
  Path p(static_cast<Str &&>(s));
  p.normalize();
  return p;
}

Path Path::join(StrView a, StrView b, StrView c) {
  if (a.empty()) return join(b, c);
  StrView parts[] = {a, b, c};
  return join(parts);
}

Path Path::join(ArrView<StrView> parts) {
  u64 total = 0;
  for (StrView part : parts) total += part.len + 1;
  if (total == 0) return Path();
  Str s(total);
  u64 w = 0;
  for (StrView part : parts) {
    if (part.len != 0) std::memcpy(s.data + w, part.data, part.len);
    w += part.len;
    s.data[w++] = '/';
  }
  Path p(static_cast<Str &&>(s));
  p.normalize();
  return p;
}

Path operator/(const Path &a, StrView b) {
  return Path::join(a.view(), b);
}

Path operator/(const Path &a, const Path &b) {
  return Path::join(a.view(), b.view());
}

Path operator/(StrView a, const Path &b) {
  return Path::join(a, b.view());
}

// --------------------------------------------------- asking the platform

Path Path::try_absolute() const {
  const OsPath os(*this);
  char buffer[PATH_MAX];
  std::memset(buffer, 0, sizeof buffer);
  if (::realpath(os.c_str(), buffer) == nullptr) return Path();
  return path_from_os(buffer);
}

Path Path::absolute() const {
  Path p = try_absolute();
  if (p.empty()) throw Err(fmt("Cannot get absolute path for ", *this));
  return p;
}

Path Path::try_to_exe() {
  char link[32];
  std::snprintf(link, sizeof link, "/proc/%d/exe", static_cast<int>(::getpid()));
  // One byte more than readlink may fill, so the text always ends in a NUL.
  char buffer[OsPath::capacity + 1];
  std::memset(buffer, 0, sizeof buffer);
  if (::readlink(link, buffer, OsPath::capacity) < 0) return Path();
  return path_from_os(buffer);
}

Path Path::to_exe() {
  Path p = try_to_exe();
  if (p.empty()) throw Err("Cannot get executable path");
  return p;
}

Path Path::try_to_cwd() {
  char buffer[OsPath::capacity];
  std::memset(buffer, 0, sizeof buffer);
  if (::getcwd(buffer, sizeof buffer) == nullptr) return Path();
  return path_from_os(buffer);
}

Path Path::to_cwd() {
  Path p = try_to_cwd();
  if (p.empty()) throw Err("Cannot get current working directory path");
  return p;
}

// ------------------------------------------------------------- filesystem

FsType Path::type() const {
  return classify(OsPath(*this));
}

u64 Path::file_size() const {
  struct stat st;
  return classify(OsPath(*this), st) == FsType::File ? static_cast<u64>(st.st_size) : 0;
}

Path Path::find_dir_up(StrView dir_name) const {
  Path current(text);
  for (;;) {
    Path candidate = join(current.view(), dir_name);
    if (classify(OsPath(candidate)) == FsType::Directory) return candidate;
    if (count_seps(current.view()) < 2) throw Err(fmt("cannot find dir: ", dir_name));
    current = current.parent();
  }
}

bool Path::try_create_dir(FsDirMode mode) const {
  OsPath os(*this);
  if (mode == FsDirMode::Recursive) return create_dir_recursive(os.buffer, os.length);
  return ::mkdir(os.c_str(), 0775) == 0;
}

void Path::create_dir(FsDirMode mode) const {
  if (!try_create_dir(mode)) throw Err(fmt("Cannot create directory ", *this));
}

bool Path::try_remove_dir(FsDirMode mode) const {
  if (mode == FsDirMode::Recursive) {
    // A link given as the root would have its target's contents removed.
    if (is_symlink(*this)) return false;
    RemoveVisitor remover;
    return walk(*this, remover, FsDirMode::Recursive, false);
  }
  return ::rmdir(OsPath(*this).c_str()) == 0;
}

void Path::remove_dir(FsDirMode mode) const {
  if (!try_remove_dir(mode)) throw Err(fmt("Cannot remove directory ", *this));
}

bool Path::try_remove_file() const {
  return ::unlink(OsPath(*this).c_str()) == 0;
}

void Path::remove_file() const {
  if (!try_remove_file()) throw Err(fmt("Cannot remove file ", *this));
}

bool Path::try_visit_dir(IFileVisitor &visitor, FsDirMode mode) const {
  return walk(*this, visitor, mode);
}

void Path::visit_dir(IFileVisitor &visitor, FsDirMode mode) const {
  if (!try_visit_dir(visitor, mode)) throw Err(fmt("Cannot visit directory ", *this));
}

Bytes Path::read_bytes() const {
  const u64 size = size_to_read(*this);
  Bytes bytes;
  if (size != 0) {
    bytes.data = new u8[size];
    bytes.len = size;
  }
  File file(*this, "rb");
  file.read_bytes(bytes.view());
  file.close();
  return bytes;
}

Str Path::read_text() const {
  const u64 size = size_to_read(*this);
  Str s(size);
  File file(*this, "rb");
  file.read_bytes(ArrView<u8>(reinterpret_cast<u8 *>(s.data), size));
  file.close();
  return s;
}

Str Path::read_ctext() const {
  const u64 size = size_to_read(*this);
  Str s(size + 1);
  File file(*this, "rb");
  file.read_bytes(ArrView<u8>(reinterpret_cast<u8 *>(s.data), size));
  file.close();
  s.data[size] = '\0';
  return s;
}

void Fmt<FsType>::format(const FsType &v, StrBuilder &b) {
  switch (v) {
  case FsType::NoExists:
    return b.append(StrView("NoExists"));
  case FsType::File:
    return b.append(StrView("File"));
  case FsType::Directory:
    return b.append(StrView("Directory"));
  }
  b.append(StrView("<unknown>"));
}

void Fmt<FsDirMode>::format(const FsDirMode &v, StrBuilder &b) {
  switch (v) {
  case FsDirMode::Default:
    return b.append(StrView("Default"));
  case FsDirMode::Recursive:
    return b.append(StrView("Recursive"));
  }
  b.append(StrView("<unknown>"));
}

// ------------------------------------------------------------------- File

File::File(const Path &path, const char *mode) {
  open(path, mode);
}

File &File::operator=(File &&o) noexcept {
  if (&o == this) return *this;
  close();
  stream = o.stream;
  o.stream = nullptr;
  return *this;
}

bool File::try_open(const Path &path, const char *mode) {
  close();
  const OsPath os(path);
  stream = std::fopen(os.c_str(), mode);
  return stream != nullptr;
}

void File::open(const Path &path, const char *mode) {
  if (!try_open(path, mode))
    throw Err(fmt("Cannot open file ", path, " (mode: ", StrView(mode), ")"));
}

void File::close() {
  (void)try_close();
}

bool File::try_close() {
  if (stream == nullptr) return true;
  const int result = std::fclose(stream);
  stream = nullptr;
  return result == 0;
}

bool File::try_read_bytes(ArrView<u8> dst) const {
  if (dst.count == 0) return true;
  if (stream == nullptr) return false;
  u64 total = 0;
  for (;;) {
    const u64 n = std::fread(dst.data + total, 1, dst.count - total, stream);
    if (std::feof(stream)) return total + n == dst.count;
    if (std::ferror(stream)) return false;
    total += n;
    if (total == dst.count) return true;
  }
}

void File::read_bytes(ArrView<u8> dst) const {
  if (!try_read_bytes(dst)) throw Err("Cannot read file");
}

bool File::try_write_bytes(ArrView<const u8> src) const {
  if (src.count == 0) return true;
  if (stream == nullptr) return false;
  u64 total = 0;
  while (total < src.count) {
    const u64 n = std::fwrite(src.data + total, 1, src.count - total, stream);
    if (std::ferror(stream) || n == 0) return false;
    total += n;
  }
  // Most writes only reach the stream's buffer; a full disk shows up here.
  return std::fflush(stream) == 0;
}

void File::write_bytes(ArrView<const u8> src) const {
  if (!try_write_bytes(src)) throw Err("Cannot write file");
}

// ------------------------------------------------------------- AtomicFile

AtomicFile::AtomicFile(AtomicFile &&o) noexcept
    : file_(static_cast<File &&>(o.file_)), path_(static_cast<Path &&>(o.path_)),
      temp_(static_cast<Str &&>(o.temp_)), target_(static_cast<Str &&>(o.target_)) {}

AtomicFile &AtomicFile::operator=(AtomicFile &&o) noexcept {
  if (&o == this) return *this;
  discard();
  file_ = static_cast<File &&>(o.file_);
  path_ = static_cast<Path &&>(o.path_);
  // Str's move assignment exchanges: o is left with this one's empty names.
  temp_ = static_cast<Str &&>(o.temp_);
  target_ = static_cast<Str &&>(o.target_);
  return *this;
}

bool AtomicFile::try_open(const Path &path) {
  discard();
  const OsPath os(path);
  path_ = path;
  struct stat st;
  const bool exists = ::stat(os.c_str(), &st) == 0;
  // Renaming over a device or a FIFO would replace the node itself (as root,
  // even /dev/full): such an output is written in place, as it always was.
  if (exists && !S_ISREG(st.st_mode)) return file_.try_open(path, "wb");
  // A file that fopen could not write must not be replaced either.
  if (exists && ::faccessat(AT_FDCWD, os.c_str(), W_OK, AT_EACCESS) != 0) return false;

  char target[PATH_MAX];
  bool in_place = false;
  if (!write_target(os, target, in_place)) return false;
  if (in_place) return file_.try_open(path, "wb");
  Str temp;
  const int fd = create_temp(target, temp);
  if (fd < 0) return false;
  if (exists) {
    // What fopen's truncation would have kept. Only root may give a file away,
    // so a failed chown is expected and no reason to stop.
    [[maybe_unused]] const int owned = ::fchown(fd, st.st_uid, st.st_gid);
    [[maybe_unused]] const int moded = ::fchmod(fd, st.st_mode & 0777);
  }
  file_.stream = ::fdopen(fd, "wb");
  if (file_.stream == nullptr) {
    ::close(fd);
    ::unlink(temp.data);
    return false;
  }
  temp_ = static_cast<Str &&>(temp);
  target_ = Str(StrView(target));
  target_.null_terminate();
  return true;
}

void AtomicFile::open(const Path &path) {
  if (!try_open(path)) throw Err(fmt("Cannot open file ", path, " (mode: wb)"));
}

bool AtomicFile::try_commit() {
  if (file_.stream == nullptr) return false;
  // A write that failed earlier leaves a file that must not pass as complete.
  const bool written = std::ferror(file_.stream) == 0;
  bool ok = file_.try_close() && written;
  if (!temp_.empty()) {
    ok = ok && ::rename(temp_.data, target_.data) == 0;
    if (!ok) ::unlink(temp_.data);
    temp_ = Str();
    target_ = Str();
  }
  return ok;
}

void AtomicFile::commit() {
  if (!try_commit()) throw Err(fmt("Cannot write file ", path_));
}

void AtomicFile::discard() {
  file_.close();
  if (!temp_.empty()) ::unlink(temp_.data);
  temp_ = Str();
  target_ = Str();
}
