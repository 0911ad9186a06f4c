// A file mapped into memory that another program cuts short while the run reads it (`cp` over
// a score file truncates it first) makes the next read of a vanished page raise SIGBUS, which
// would end the run with "Bus error" and no word of which file. A guarded mapping turns that
// fault into the run's usual error: "error: F was cut short while this run was reading it:
// leave it as it is until the run ends" on standard error, exit status 1.
//
// Faults outside every guarded mapping keep whatever action they had before (a crash, or a
// sanitizer's report). In an MPI job only process 0's message is seen; another process ends
// with status 1 and the launcher ends the job. Unfinished result files are not removed then:
// they carry temporary names, and nothing may be freed safely inside a signal handler.
#pragma once

#include <cstddef>
#include <string>

/// Guards `length` bytes at `address`, a mapping of the file `name`; returns a slot to release,
/// or -1 when every slot is taken (the mapping then faults as an unguarded one would).
int guard_file_mapping(const void* address, std::size_t length, const std::string& name);
/// Ends the guard of `slot` (a -1 slot is ignored); call it before the mapping is unmapped.
void release_file_mapping(int slot);
