#include "font/output.h"

#include "core/fmt.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stb_image_write.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct PngSink {
  u8 *data = nullptr;
  u64 len = 0;
  u64 capacity = 0;
};

void append_to_sink(void *context, void *data, int size) {
  auto *sink = static_cast<PngSink *>(context);
  if (size <= 0) return;
  const u64 needed = sink->len + u64(size);
  if (needed > sink->capacity) {
    const u64 grown = needed > 2 * sink->capacity ? needed : 2 * sink->capacity;
    u8 *bigger = new u8[grown];
    if (sink->len) std::memcpy(bigger, sink->data, sink->len);
    delete[] sink->data;
    sink->data = bigger;
    sink->capacity = grown;
  }
  std::memcpy(sink->data + sink->len, data, u64(size));
  sink->len = needed;
}

// Every byte, retrying short writes and interruptions; 0 or the errno.
int write_all(int fd, ArrView<const u8> bytes) {
  u64 done = 0;
  while (done < bytes.count) {
    const ssize_t n = write(fd, bytes.data + done, bytes.count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += u64(n);
  }
  return 0;
}

mode_t current_umask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// Where a write to `path` lands: its directory resolved, and symbolic links
// at the path followed to their final target, so the rename replaces the
// file and not the link. A path through /proc (/dev/stdout and /dev/fd/N lead
// there) names an open descriptor whose file the caller's shell may share, so
// it is written in place.
std::string final_target(const std::string &path, bool &in_place) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    const std::size_t slash = at.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : at.substr(0, slash);
    const std::string name = slash == std::string::npos ? at : at.substr(slash + 1);
    char resolved[PATH_MAX];
    if (realpath(dir.c_str(), resolved) == nullptr) return at; // the write says why
    const std::string real_dir = resolved;
    if (real_dir == "/proc" || real_dir.starts_with("/proc/")) in_place = true;
    at = (real_dir == "/" ? "" : real_dir) + "/" + name;
    struct stat st {};
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    std::string link(PATH_MAX, '\0');
    const ssize_t n = readlink(at.c_str(), link.data(), link.size());
    if (n < 0 || u64(n) >= link.size()) return at;
    link.resize(u64(n));
    at = link.starts_with('/') ? link : real_dir + "/" + link;
  }
  // A loop: opening it in place fails with the system's own reason.
  in_place = true;
  return at;
}

} // namespace

Bytes encode_png(const u8 *pixels, i32 width, i32 height, i32 channels) {
  PngSink sink;
  const int encoded = stbi_write_png_to_func(append_to_sink, &sink, width, height, channels, pixels,
                                             width * channels);
  Bytes png;
  png.data = sink.data;
  png.len = sink.len;
  if (encoded == 0) throw Err("Cannot encode the PNG image");
  return png;
}

void write_output(const Path &path, ArrView<const u8> bytes) {
  const std::string given(path.text.data == nullptr ? "" : path.text.data, path.text.len);
  const auto fail = [&](int error) {
    throw Err(fmt(path, ": cannot be written (", StrView(std::strerror(error)), ")"));
  };
  bool in_place = false;
  const std::string target = final_target(given, in_place);
  struct stat st {};
  const bool exists = stat(target.c_str(), &st) == 0;
  if (in_place || (exists && !S_ISREG(st.st_mode))) {
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) fail(errno);
    const int error = write_all(fd, bytes);
    const int close_error = close(fd) == 0 ? 0 : errno;
    if (error != 0 || close_error != 0) fail(error != 0 ? error : close_error);
    return;
  }

  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp_path = dir + "." + name + ".glyphmint-XXXXXX";
  const int fd = mkstemp(temp_path.data());
  if (fd < 0) fail(errno);
  // mkstemp creates 0600; the file gets what a plain creation would give, or
  // keeps the mode of the file it replaces.
  const mode_t mode = exists ? st.st_mode & 07777 : 0666 & ~current_umask();
  int error = fchmod(fd, mode) == 0 ? 0 : errno;
  if (error == 0) error = write_all(fd, bytes);
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(temp_path.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temp_path.c_str());
    fail(error);
  }
}
