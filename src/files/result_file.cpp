#include "files/result_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "cli/fail.h"
#include "engine/distributed.h"
#include "files/mapped_file_guard.h"

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

}  // namespace

DescriptorBuffer::DescriptorBuffer() : buffer_(kBufferSize) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

DescriptorBuffer::~DescriptorBuffer() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void DescriptorBuffer::attach(int descriptor) { descriptor_ = descriptor; }

bool DescriptorBuffer::drain() {
  if (!write_all(descriptor_, pbase(), static_cast<std::size_t>(pptr() - pbase()))) failed_ = true;
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return !failed_;
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c) {
  if (descriptor_ < 0 || !drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int DescriptorBuffer::sync() { return descriptor_ >= 0 && drain() ? 0 : -1; }

bool DescriptorBuffer::close() {
  if (descriptor_ < 0) return false;
  drain();
  if (::close(descriptor_) != 0) failed_ = true;
  descriptor_ = -1;
  return !failed_;
}

ResultFile::ResultFile(const std::string& result_path)
    : path(result_path), target(resolve_output_target(result_path)), out(&buffer_) {
  // Results come only from the score file as it was read.
  stop_if_mapped_files_changed();
  // A job writes its results only once every process has got this far (a process that failed
  // has ended the job before), and only process 0 writes them.
  wait_for_all_processes();
  if (!is_writing_process()) {
    buffer_.attach(open("/dev/null", O_WRONLY | O_CLOEXEC));
    return;
  }
  if (!target.refusal.empty()) return;
  if (target.direct) {
    buffer_.attach(open_direct_target(target));
    return;
  }
  buffer_.attach(create_temp_beside(target.final_path, temp_path));
}

bool ResultFile::is_open_or_warn(const char* what) const {
  if (is_open()) return true;
  std::cout << "Cannot open " << path << "for " << what << " output." << std::endl;
  if (!target.direct && regular_file_exists(target.final_path)) {
    std::cout << "warning: " << path << " is left from an earlier run: it is not this run's "
              << what << " output" << std::endl;
  }
  return false;
}

ResultFile::~ResultFile() {
  if (committed || temp_path.empty()) return;
  buffer_.close();
  std::remove(temp_path.c_str());
  forget_temp_file(temp_path);
}

void ResultFile::commit() {
  out.flush();
  const bool written = buffer_.close() && !out.fail();
  // The temporary file of a failed write goes as on every stop: at exit, or with this object.
  if (!written) fail_stderr("error: could not write all of " + path);
  committed = true;
  if (temp_path.empty()) return;
  const std::string failure = replace_with_temp(temp_path, target.final_path);
  if (!failure.empty()) fail_stderr("error: could not write all of " + path + ": " + failure);
}
