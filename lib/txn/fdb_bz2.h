#pragma once
// bzip2 compression and decompression of stored files, done by the
// system's `bzip2` command. The command is started by the platform launcher
// with an argument vector ("bzip2 -d" or "bzip2 -z5"), its standard input
// and output redirected by the launcher, so no file name ever reaches a
// shell. The caller waits for it to end.
//
// Temporaries are "/tmp/FDBRead.BZ2in.<pid>" (data written out for the
// command) and "/tmp/FDBRead.BZ2out.<pid>" (its output), made afresh for
// this process and removed after use, whatever the outcome. One call at a
// time per process: the names carry only the process id.
//
// All forms return 1 when converted, -1 when not; `errortext` always says
// what happened. Nothing is logged. The file names are system paths,
// resolved through QdPath() when opened.

#include <string>

// Options the stored-file reader uses.
constexpr const char* kBz2Decompress = "d";
constexpr const char* kBz2Compress = "z5";  // compression level 5

// Formats of the temporary file names, filled with kBz2TempOwner and the
// process id.
constexpr const char* kBz2InFormat = "/tmp/%s.BZ2in.%d";
constexpr const char* kBz2OutFormat = "/tmp/%s.BZ2out.%d";
constexpr const char* kBz2TempOwner = "FDBRead";

// The temporary file names of this process (system paths).
std::string Bz2TempIn();
std::string Bz2TempOut();

// File to file: runs `bzip2 -<option>` reading `infile` and writing
// `outfile` (created or truncated) and waits for it. `option` must be
// kBz2Decompress or kBz2Compress. Result 1 when the command ended with exit
// code 0 ("Command completed. Cmd='...'"). Result -1, with the output file
// removed, when
//   - the option is not one of the two: "Unknown bzip2 option '%s'";
//   - a name is empty: "Open error (read) for ''" or "Open error (write)
//     for ''" (the command would read or write the caller's own streams);
//   - both names lead to the same file: "Input and output are the same
//     file '%s'" (the command would destroy it);
//   - the command cannot be started, or the input cannot be opened or the
//     output created: "'system' call failed:%s" (the launcher's reason);
//   - it was ended by a signal: "Command abnormal termination, signal=%d.
//     Cmd='%s'";
//   - its status is neither an exit nor a signal: "Command terminated with
//     unknown status=0x%.8X. Cmd='%s'";
//   - it exited with a code other than 0: "Command failed, rc=%d. Cmd='%s'".
// Cmd is the command as an operator would type it, with its redirections
// and the resolved file names quoted for a shell.
[[nodiscard]] int BZ2(const char* option, const char* infile, const char* outfile,
                      std::string& errortext);

// File to buffer: the file-to-file form into the output temporary file,
// which is then read whole (as FdbReadWholeFile) and removed. On result 1
// *outbuffer is a new malloc'd buffer of *outsize + 1 bytes ending in a NUL,
// owned by the caller (free()). On -1 *outbuffer is null and *outsize 0.
[[nodiscard]] int BZ2(const char* option, const char* infile, char** outbuffer, long* outsize,
                      std::string& errortext);

// Buffer to buffer: writes `insize` bytes of `inbuffer` to the input
// temporary file ("Open error (write) for '%s'", "Write error for '%s'"),
// runs the file-to-buffer form on it and removes it. Output and ownership
// as the file-to-buffer form; the input buffer stays the caller's.
[[nodiscard]] int BZ2(const char* option, const char* inbuffer, long insize, char** outbuffer,
                      long* outsize, std::string& errortext);
