// Memory mappings that unmap themselves: a whole file mapped read-only, or anonymous memory
// reserved up front and backed by pages only where it is written. A file mapping is guarded:
// should another program cut the file short or write over it meanwhile, the run stops naming
// it (mapped_file_guard.h) instead of dying of SIGBUS or reading a mix of two files.
#pragma once

#include <cstddef>
#include <string>

class MappedRegion {
 public:
  void* address = nullptr;
  std::size_t length = 0;
  int guard_slot = -1;  ///< a file mapping's slot in the guard (mapped_file_guard.h)

  MappedRegion() = default;
  ~MappedRegion();
  MappedRegion(MappedRegion&& other) noexcept;
  MappedRegion& operator=(MappedRegion&& other) noexcept;
  MappedRegion(const MappedRegion&) = delete;
  MappedRegion& operator=(const MappedRegion&) = delete;

  /// `bytes` of zeroed, writable memory; pages cost memory only once written.
  static MappedRegion anonymous(std::size_t bytes);
  /// The whole of `path`, read-only; stops the run naming the file when it cannot be mapped.
  static MappedRegion file(const std::string& path);
  /// The first `bytes` of the open file `descriptor`, named `name` in messages, read-only;
  /// empty when `bytes` is 0 or the file cannot be mapped (errno then says why), so that the
  /// caller may read it instead.
  static MappedRegion of_descriptor(int descriptor, std::size_t bytes, const std::string& name);
  /// Stops the run naming the file when the mapped file changed since it was mapped.
  void stop_if_file_changed() const;

 private:
  void unmap();
};
