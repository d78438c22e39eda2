// The zlib stream stb_image_write makes of a PNG's filtered rows at its
// default quality, byte for byte, found faster: flat hash buckets, matches
// compared a word at a time, searched newest first so the search can stop
// at the longest possible match; the Adler-32 comes from whoever writes
// the data.
//
// The trap: the stream is only stb's while every choice is stb's: which
// positions enter the buckets (only those where a literal or a match
// starts), the trimming of a full bucket to its newer half, ties to the
// newest position, the lazy match, one fixed-Huffman block, and the stored
// blocks when that block is larger than the data.
#pragma once

#include "core/types.h"

#include <functional>

/// The data a stream is made of, as it becomes final: `await(n)` blocks
/// until the first n bytes are and returns how many are (at least n); the
/// stream reads no byte before it was awaited, so the data may still be
/// written beside it. `adler32()` is the Adler-32 of the whole data, asked
/// for once all of it was awaited, so that whoever writes the data can sum it.
struct StreamData {
  std::function<u64(u64)> await;
  std::function<u32()> adler32;
};

/// Where the stream is written: at least zlib_stream_capacity(len) bytes;
/// `len` is under 2 GiB, as in a PNG. Returns the stream's length.
[[nodiscard]] u64 write_zlib_stream(const u8 *data, u64 len, u8 *out, const StreamData &source);

/// Room that write_zlib_stream needs for `len` bytes of data, whatever they are.
[[nodiscard]] u64 zlib_stream_capacity(u64 len);
