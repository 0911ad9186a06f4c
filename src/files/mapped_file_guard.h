// A score file is read through a mapping, several times in a run, so another program that
// writes to it meanwhile (`cp` over it truncates it, then writes) would either kill the run
// with SIGBUS ("Bus error", naming nothing) or, worse, give it a mix of two files' scores. A
// guarded mapping stops the run with the usual error, exit status 1, in both cases:
// - a read of a page that the file no longer has: "error: F was cut short while this run was
//   reading it: leave it as it is until the run ends", from the SIGBUS handler;
// - a file whose size or modification time is not what it was when mapped, checked before any
//   result is written (stop_if_mapped_files_changed): "error: F changed while this run was
//   reading it: leave it as it is until the run ends".
// A file replaced whole (written elsewhere, then renamed over the name) is no hazard: the run
// keeps the file it mapped.
//
// Faults outside every guarded mapping keep whatever action they had before (a crash, or a
// sanitizer's report). In an MPI job only process 0's fault message is seen; another process
// ends with status 1 and the launcher ends the job. A fault leaves unfinished result files
// behind under their temporary names: nothing may be freed inside a signal handler.
#pragma once

#include <cstddef>
#include <string>

/// Guards `length` bytes at `address`, a mapping of the open file `descriptor` named `name`;
/// returns a slot to release, or -1 when every slot is taken (that mapping goes unguarded).
int guard_file_mapping(const void* address, std::size_t length, int descriptor,
                       const std::string& name);
/// Ends the guard of `slot` (a -1 slot is ignored); call it before the mapping is unmapped.
void release_file_mapping(int slot);
/// Stops the run naming the file when the file guarded in `slot` changed since it was mapped.
void stop_if_mapped_file_changed(int slot);
/// The same for every guarded mapping.
void stop_if_mapped_files_changed();
