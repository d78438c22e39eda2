// Paths, files (also written under a temporary name and renamed into place)
// and directory walks.
//
// Path is owned text with a small algebra (parent, components, name, extension,
// join, relative paths) that never touches the disk; only the operations under
// "filesystem" below do. The trap: construction never normalizes, and equality
// and hashing compare exact bytes, so Path("a//b") != Path("a/b"). Every
// platform call goes through a private fixed buffer of at most 508 characters:
// an empty or longer path throws Err even from the try_ operations.
#pragma once

#include "core/fmt.h"

#include <cstdio>

struct Path;

/// The kind of a filesystem entry, as stat (which follows links) reports it.
/// Pipes, sockets and devices read as NoExists.
enum class FsType : u32 { NoExists = 0, File = 1, Directory = 2 };

/// How far a directory operation reaches.
enum class FsDirMode : u32 { Default = 0, Recursive = 1 };

/// What a directory walk calls: visit for each file or directory entry (pre-order),
/// visit_dir_end after a walked directory's last entry. Returning false from
/// either stops the whole walk.
struct IFileVisitor {
  virtual ~IFileVisitor();
  [[nodiscard]] virtual bool visit(const Path &path, FsType type) = 0;
  /// Its result becomes the result of that directory's walk; the base returns true.
  [[nodiscard]] virtual bool visit_dir_end(const Path &dir);
};

/// A whole file's bytes in one array-new block; move-only, null and 0 when empty.
struct Bytes {
  u8 *data = nullptr;
  u64 len = 0;

  Bytes() = default;
  Bytes(const Bytes &) = delete;
  Bytes &operator=(const Bytes &) = delete;
  Bytes(Bytes &&o) noexcept : data(o.data), len(o.len) {
    o.data = nullptr;
    o.len = 0;
  }
  Bytes &operator=(Bytes &&o) noexcept;
  ~Bytes() { delete[] data; }

  [[nodiscard]] ArrView<u8> view() const { return {data, len}; }
  [[nodiscard]] bool empty() const { return len == 0; }
};

struct Path {
  /// The longest text that the filesystem operations below take.
  static constexpr u64 max_os_length = 508;

  Str text;

  Path() = default;
  /// Takes the text over unchanged (no normalization).
  explicit Path(Str t) : text(static_cast<Str &&>(t)) {}
  /// Copies the text unchanged.
  explicit Path(StrView t) : text(t) {}
  /// Copies a NUL-terminated text unchanged.
  explicit Path(const char *t) : text(t) {}

  [[nodiscard]] StrView view() const { return text.view(); }
  [[nodiscard]] bool empty() const { return text.len == 0; }
  /// Exact bytes: a/b and a//b differ.
  [[nodiscard]] bool operator==(const Path &o) const { return view() == o.view(); }
  [[nodiscard]] bool operator!=(const Path &o) const { return !(*this == o); }
  /// The StrView hash of the text.
  [[nodiscard]] u64 hash() const { return view().hash(); }

  // ------------------------------------------------------------ text algebra
  // Only '/' separates, except that normalization reads '\' as '/' and
  // has_parent / parent also count '\'. Normal form: no '\', no "//", no
  // trailing '/' except a lone "/"; "." and ".." stay as written.

  /// Rewrites in place:  a\b//c/ => a/b/c,  // => /,  ./x/../y => ./x/../y
  Path &normalize();
  [[nodiscard]] Path normalized() const;
  /// At least two separators ('/' or '\'):  /x/y => true,  /x, a/b, "" => false
  [[nodiscard]] bool has_parent() const;
  /// Text before the last '/' or '\':  /x/y => /x,  /x => "",  a => "",  a\b => a
  [[nodiscard]] Path parent() const;
  /// Non-empty runs between '/':  "/" => 0,  //a//b/ => 2
  [[nodiscard]] u64 components_count() const;
  /// Writes up to out.count views of the components into out; returns how many.
  u64 get_components(ArrView<StrView> out) const;
  /// The last component (after the last '/'):  a/b.c => b.c
  [[nodiscard]] StrView name() const;
  /// The name up to its FIRST dot:  x.glyphmint.ini => x,  .hidden => ""
  [[nodiscard]] StrView name_without_ext() const;
  /// The name from its FIRST dot:  x.glyphmint.ini => .glyphmint.ini,  dir.d/file => ""
  [[nodiscard]] StrView ext() const;
  /// Replaces the extension, not normalized:  a/b.c.d + .png => a/b.png,  a/b + .png => a/b.png
  [[nodiscard]] Path with_ext(StrView extension) const;
  /// How to reach this path from base, by components only (a leading '/' plays
  /// no part); throws Err for more than 48 components in either path.
  ///   /data/out/x.png from /data/src => ../out/x.png,  /a from /a/b/c => ../..
  [[nodiscard]] Path relative_to(const Path &base) const;

  /// a + '/' + b, normalized; an empty a gives b unchanged:
  ///   a/ + b => a/b,  a + /b => a/b,  a + "" => a,  "" + x\y => x\y
  [[nodiscard]] static Path join(StrView a, StrView b);
  /// join(a, b, c); an empty a gives join(b, c).
  [[nodiscard]] static Path join(StrView a, StrView b, StrView c);
  /// Every part followed by '/', normalized; no leading '/' added; {} => "".
  [[nodiscard]] static Path join(ArrView<StrView> parts);

  // ------------------------------------------------- asking the platform
  // All results are in normal form; the try_ forms give the empty path on a
  // platform failure (but still throw for an empty or over-long receiver).

  /// realpath: the entry must exist.
  [[nodiscard]] Path absolute() const;
  [[nodiscard]] Path try_absolute() const;
  /// The running executable (/proc/<pid>/exe).
  [[nodiscard]] static Path to_exe();
  [[nodiscard]] static Path try_to_exe();
  /// The working directory (getcwd, under 512 characters).
  [[nodiscard]] static Path to_cwd();
  [[nodiscard]] static Path try_to_cwd();

  // ----------------------------------------------------------- filesystem

  [[nodiscard]] FsType type() const;
  /// Size of a File; 0 for anything else or when stat fails.
  [[nodiscard]] u64 file_size() const;
  /// The nearest directory called dir_name at this path or above it, never at
  /// the top level: from /a/b it tries /a/b/name and /a/name. Throws Err when none.
  [[nodiscard]] Path find_dir_up(StrView dir_name) const;

  /// Default: one mkdir (0775). Recursive: succeeds at once if anything exists
  /// there, else creates the parents top-down first.
  void create_dir(FsDirMode mode) const;
  [[nodiscard]] bool try_create_dir(FsDirMode mode) const;
  /// Default: rmdir of an empty directory. Recursive: removes the whole tree,
  /// stopping at the first entry that cannot be removed.
  void remove_dir(FsDirMode mode) const;
  [[nodiscard]] bool try_remove_dir(FsDirMode mode) const;
  void remove_file() const;
  [[nodiscard]] bool try_remove_file() const;

  /// Walks this directory in readdir order, skipping "." and "..", and entries
  /// that are neither files nor directories; links are followed. Recursive
  /// walks enter each directory right after visiting it (pre-order).
  void visit_dir(IFileVisitor &visitor, FsDirMode mode) const;
  /// True when the walk ran to its end and the last visit_dir_end agreed.
  [[nodiscard]] bool try_visit_dir(IFileVisitor &visitor, FsDirMode mode) const;

  /// The whole file; an empty file (or a non-regular one) gives no storage.
  [[nodiscard]] Bytes read_bytes() const;
  /// Exactly the file's bytes, no terminator.
  [[nodiscard]] Str read_text() const;
  /// The file's bytes and one NUL, counted in the length.
  [[nodiscard]] Str read_ctext() const;
};

/// The two-part join of the two texts.
[[nodiscard]] Path operator/(const Path &a, StrView b);
[[nodiscard]] Path operator/(const Path &a, const Path &b);
[[nodiscard]] Path operator/(StrView a, const Path &b);

template <> struct Fmt<Path> {
  static void format(const Path &v, StrBuilder &b) { b.append(v.view()); }
};
/// "NoExists", "File", "Directory", or "<unknown>".
template <> struct Fmt<FsType> { static void format(const FsType &v, StrBuilder &b); };
/// "Default", "Recursive", or "<unknown>".
template <> struct Fmt<FsDirMode> { static void format(const FsDirMode &v, StrBuilder &b); };

/// Move-only owner of a stdio stream; closed (null) unless opened. Errors carry
/// no path and no errno: "Cannot read file", "Cannot write file".
struct File {
  FILE *stream = nullptr;

  File() = default;
  /// Opens as open() does; throws Err.
  File(const Path &path, const char *mode);
  File(const File &) = delete;
  File &operator=(const File &) = delete;
  File(File &&o) noexcept : stream(o.stream) { o.stream = nullptr; }
  /// Takes o's stream and closes the one held before; self-assignment does nothing.
  File &operator=(File &&o) noexcept;
  /// Closes silently; use try_close to learn whether fclose succeeded.
  ~File() { close(); }

  /// Closes any open stream first, then fopen; on failure the File is closed and
  /// Err "Cannot open file <path> (mode: <mode>)" is thrown.
  void open(const Path &path, const char *mode);
  [[nodiscard]] bool try_open(const Path &path, const char *mode);
  /// fclose if open; the result is not reported.
  void close();
  /// fclose if open; false when fclose failed (buffered data may be lost), true
  /// when it succeeded or nothing was open. The File is closed either way.
  [[nodiscard]] bool try_close();

  /// Fills the whole destination or throws; zero bytes succeed at once.
  void read_bytes(ArrView<u8> dst) const;
  [[nodiscard]] bool try_read_bytes(ArrView<u8> dst) const;
  /// Writes the whole source and flushes; a failed write or flush throws.
  /// Zero bytes succeed without touching the stream.
  void write_bytes(ArrView<const u8> src) const;
  [[nodiscard]] bool try_write_bytes(ArrView<const u8> src) const;
};

/// Writes a file under a temporary name beside it and renames it over the real
/// name only once it is complete and closed, so a failed or interrupted write
/// never leaves a truncated file under that name: the previous file stays
/// until the commit. The temporary is ".<name>.glyphmint-XXXXXX" in the
/// directory of the final target. A symbolic link at the path is kept and its
/// target replaced; an existing entry that is no regular file (a device, a
/// FIFO), or a link through /proc such as /dev/stdout, cannot be replaced and
/// is written in place, as File with "wb" would.
/// The trap: abort runs no destructors, so call discard() before it.
struct AtomicFile {
  AtomicFile() = default;
  AtomicFile(const AtomicFile &) = delete;
  AtomicFile &operator=(const AtomicFile &) = delete;
  AtomicFile(AtomicFile &&o) noexcept;
  /// Discards what this one held, then takes o's file.
  AtomicFile &operator=(AtomicFile &&o) noexcept;
  /// Discards a file that was not committed.
  ~AtomicFile() { discard(); }

  /// Discards any file held before, then opens for writing: a new file gets
  /// mode 0666 less the umask, a replaced one keeps its permissions and, where
  /// allowed, its owner; a replaced file must be writable, as for fopen. On
  /// failure nothing is left behind and Err "Cannot open file <path> (mode:
  /// wb)" is thrown.
  void open(const Path &path);
  [[nodiscard]] bool try_open(const Path &path);

  /// The stream to write through; closed unless opened and not yet committed.
  [[nodiscard]] const File &file() const { return file_; }

  /// The file that commit replaces, links followed: empty while nothing is
  /// open or once committed, and for a file written in place.
  [[nodiscard]] StrView target() const {
    return target_.empty() ? StrView() : StrView(target_.data, target_.len - 1);
  }

  /// Puts the file in place: fails if any write to the stream failed, then
  /// closes it (flushing) and renames the temporary over the final name. On
  /// failure the temporary is removed, the previous file stays, and Err
  /// "Cannot write file <path>" is thrown. Without an open file it fails.
  void commit();
  [[nodiscard]] bool try_commit();

  /// Closes the stream and removes the temporary now; nothing open is a no-op.
  void discard();

private:
  File file_;
  Path path_;  // as given, for the messages
  Str temp_;   // NUL-terminated; empty while nothing is open or when in place
  Str target_; // NUL-terminated name that the temporary replaces
};
