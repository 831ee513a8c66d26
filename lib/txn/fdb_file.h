#pragma once
// Whole-file services of the stored-file reader: reading a file into a new
// buffer, copying one file to another, writing a buffer out, and making a
// private temporary file. Names are system paths (as an operator sees them);
// each is resolved through QdPath() when opened, and error texts name the
// file as the caller gave it. Nothing here logs.
//
// Results: 0 done, -1 failed with `errortext` set.

#include <string>

// Reads the whole of `path` into a new buffer of size + 1 bytes whose last
// byte is a NUL, allocated with malloc: the caller frees it with free().
// The size is counted first by reading the file in 8192-byte blocks, so
// special files that report no size are read correctly.
// On success: *outbuffer, *outsize (0 for an empty file, whose buffer holds
// only the NUL), result 0. On failure: *outbuffer null, *outsize 0, result
// -1 with one of "Open error (read) for '%s'", "Error reading (for count)
// '%s'", "malloc for %ld byte buffer failed:%s", "Error reading '%s'".
[[nodiscard]] int FdbReadWholeFile(const char* path, char** outbuffer, long* outsize,
                                   std::string& errortext);

// Copies `infile` to `outfile` (created or truncated) in 8192-byte blocks.
// When both names lead to the same file it is left as it is (a copy onto
// itself would empty it first). Failure texts: "Open error (read) for
// '%s'", "Open error (write) for '%s'", "Read error for '%s'", "Write error
// for '%s'"; a partly written output is removed.
[[nodiscard]] int FdbCopyFile(const char* infile, const char* outfile, std::string& errortext);

// Creates `path` afresh for this process only: a leftover of that name is
// removed first, then the file is made exclusively (mode 0600, symbolic
// links not followed), so a name fixed in a shared directory such as /tmp
// cannot be turned against another file. On success returns an open,
// write-only descriptor; on failure -1 with "Open error (write) for '%s'".
[[nodiscard]] int FdbCreateTempFile(const char* path, std::string& errortext);

// Writes `size` bytes of `buffer` into a fresh temporary file `path` (as
// FdbCreateTempFile). Failure texts: "Open error (write) for '%s'", "Write
// error for '%s'"; on failure the file is removed.
[[nodiscard]] int FdbWriteTempFile(const char* path, const char* buffer, long size,
                                   std::string& errortext);

// Removes `path` (resolved); quiet when it is already gone.
void FdbRemoveFile(const char* path);

// True when both names (resolved) lead to one existing file.
bool FdbSameFile(const char* a, const char* b);
