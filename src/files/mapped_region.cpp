#include "files/mapped_region.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "cli/fail.h"
#include "cli/out_of_memory.h"
#include "files/mapped_file_guard.h"

MappedRegion::~MappedRegion() { unmap(); }

void MappedRegion::unmap() {
  release_file_mapping(std::exchange(guard_slot, -1));
  if (address != nullptr) munmap(address, length);
  address = nullptr;
  length = 0;
}

MappedRegion::MappedRegion(MappedRegion&& other) noexcept
    : address(std::exchange(other.address, nullptr)),
      length(std::exchange(other.length, 0)),
      guard_slot(std::exchange(other.guard_slot, -1)) {}

MappedRegion& MappedRegion::operator=(MappedRegion&& other) noexcept {
  if (this != &other) {
    unmap();
    address = std::exchange(other.address, nullptr);
    length = std::exchange(other.length, 0);
    guard_slot = std::exchange(other.guard_slot, -1);
  }
  return *this;
}

MappedRegion MappedRegion::anonymous(std::size_t bytes) {
  MappedRegion region;
  if (bytes == 0) return region;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED && errno == ENOMEM)
    fail_stderr(out_of_memory_message(MemoryActivity::current()) + " (" + std::to_string(bytes) +
                " bytes more)");
  if (p == MAP_FAILED)
    fail_stderr("error: cannot reserve " + std::to_string(bytes) +
                " bytes: " + std::strerror(errno));
  // Large pages where the system offers them on request: a score matrix written page by page
  // would otherwise spend a good part of its reading time in page faults.
  madvise(p, bytes, MADV_HUGEPAGE);
  region.address = p;
  region.length = bytes;
  return region;
}

MappedRegion MappedRegion::file(const std::string& path) {
  MappedRegion region;
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) fail_stderr("error: cannot open " + path + ": " + std::strerror(errno));
  struct stat status;
  if (fstat(fd, &status) != 0) {
    close(fd);
    fail_stderr("error: cannot read " + path + ": " + std::strerror(errno));
  }
  // A pipe or device has no size to map: it would read as an empty file.
  if (!S_ISREG(status.st_mode)) {
    close(fd);
    fail_stderr("error: " + path + " is not a regular file: it is read in place, so write it " +
                "to a file first");
  }
  const auto bytes = static_cast<std::size_t>(status.st_size);
  region = of_descriptor(fd, bytes, path);
  if (bytes > 0 && region.address == nullptr) {
    const int error = errno;
    close(fd);
    fail_stderr("error: cannot map " + path + ": " + std::strerror(error));
  }
  close(fd);
  return region;
}

MappedRegion MappedRegion::of_descriptor(int descriptor, std::size_t bytes,
                                         const std::string& name) {
  MappedRegion region;
  if (bytes == 0) return region;
  void* p = mmap(nullptr, bytes, PROT_READ, MAP_SHARED, descriptor, 0);
  if (p == MAP_FAILED) return region;
  region.address = p;
  region.length = bytes;
  region.guard_slot = guard_file_mapping(p, bytes, descriptor, name);
  return region;
}

void MappedRegion::stop_if_file_changed() const { stop_if_mapped_file_changed(guard_slot); }
