// How both programs write what they make. A regular file is replaced whole: the bytes go to a
// temporary file beside it, put in its place only when complete, with the old file's mode (and
// owner, where allowed); a file that other hard links share is rewritten in place at that point,
// so that the links still share it. Streams (/dev/stdout, /dev/fd/N, pipes, terminals) are
// written as they are, through the descriptor the shell set up. A symbolic link is followed to
// its target, but never one that the kernel would not follow either (another user's link in a
// sticky, world-writable folder such as /tmp). Before a run starts, an output that is one of its
// inputs, or another of its outputs, is refused.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

/// Where an output named `path` is written.
struct OutputTarget {
  std::string final_path;  ///< `path` with symbolic links followed
  bool direct = false;     ///< a stream or device: written in place, never renamed over
  int descriptor = -1;     ///< names this process's open descriptor (/dev/stdout...): use a copy
  std::string refusal;     ///< non-empty: why this output may not be written at all
};

/// Follows symbolic links (also to a name that does not exist yet) and tells a regular file or
/// a new name from a stream.
OutputTarget resolve_output_target(const std::string& path);

/// A descriptor open for writing on a direct target without truncating it: a copy of the
/// process's own descriptor, or the device itself opened for appending; -1 (errno set) if not.
int open_direct_target(const OutputTarget& target);

/// Creates a temporary file beside `final_path`, with the mode (and owner, where allowed) of the
/// file it will replace or else that of a new file; returns its descriptor and sets `temp_path`,
/// or -1 (errno set). The name is removed again if the run stops or is interrupted first.
int create_temp_beside(const std::string& final_path, std::string& temp_path);

/// Puts the complete temporary file in place of `final_path`: a rename, or a copy into the file
/// when other hard links share it. Empty on success, else what failed.
std::string replace_with_temp(const std::string& temp_path, const std::string& final_path);

/// The temporary files that an exit on error or a signal must remove (a fixed table, so that a
/// signal handler may read it). False when the name does not fit the table.
bool remember_temp_file(const std::string& path);
void forget_temp_file(const std::string& path);

/// SIGINT, SIGTERM and SIGHUP remove the temporary files before the signal ends the process as
/// it would have; SIGXFSZ is ignored, so that a write past the file size limit fails as a write.
/// A signal the process was started with ignored stays ignored.
void install_output_signal_handlers();

/// Writes all of `size` bytes to `descriptor`, again after an interrupted write; false (errno
/// set) when the system takes no more.
bool write_all(int descriptor, const char* bytes, std::size_t size);

/// A file a run reads or writes, as the user named it and the option that named it.
struct NamedFile {
  std::string option;
  std::string path;
};

/// The first output that may not be written: one that is one of `inputs` (same device and inode,
/// or the same name when it does not exist yet), another of `outputs` (unless both are streams),
/// or a link that is not followed. The message names both options and files; empty when fine.
std::string find_output_clash(const std::vector<NamedFile>& inputs,
                              const std::vector<NamedFile>& outputs);

/// `path` made absolute, with its folder's links, "." and ".." resolved where the folder exists.
std::string normalised_name(const std::string& path);

/// A regular file by this name exists: after a result could not be written, it is an older one.
bool regular_file_exists(const std::string& path);
