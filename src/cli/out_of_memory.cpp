#include "cli/out_of_memory.h"

#include <unistd.h>

#include <atomic>
#include <exception>
#include <new>
#include <stdexcept>
#include <system_error>

#include "cli/fail.h"

namespace {
std::atomic<const char*> current_activity{"starting"};
/// Given back to the system before the message is formed, so that forming it does not fail
/// for want of the memory that just ran out.
char* reserve = nullptr;
/// Set by the first thread that reports; any other stops where it is until the process ends.
std::atomic<bool> reporting{false};
std::terminate_handler previous_terminate = nullptr;

/// The first thread to fail reports; any other stops where it is until the process ends.
void claim_the_report() {
  if (reporting.exchange(true)) {
    for (;;) pause();
  }
  delete[] reserve;
  reserve = nullptr;
  // An allocation that fails while the message is formed throws instead of coming back here.
  std::set_new_handler(nullptr);
}

void on_failed_allocation() {
  claim_the_report();
  fail_stderr(out_of_memory_message(MemoryActivity::current()));
}

void on_uncaught_exception() {
  const std::exception_ptr caught = std::current_exception();
  if (caught && !reporting.load()) {
    try {
      std::rethrow_exception(caught);
    } catch (const std::bad_alloc&) {
      on_failed_allocation();
    } catch (const std::length_error&) {
      // A size past what a container can hold: as good as memory that is not there.
      on_failed_allocation();
    } catch (const std::system_error& e) {
      claim_the_report();
      fail_stderr(std::string("error: the system refused a resource while ") +
                  MemoryActivity::current() + ": " + e.what());
    } catch (const std::exception& e) {
      claim_the_report();
      fail_stderr(std::string("error: failure while ") + MemoryActivity::current() + ": " +
                  e.what());
    } catch (...) {
    }
  }
  if (previous_terminate != nullptr) previous_terminate();
  for (;;) pause();
}
}  // namespace

std::string out_of_memory_message(const char* activity) {
  return std::string("error: out of memory while ") + activity;
}

void install_out_of_memory_handler() {
  reserve = new char[1 << 16];
  std::set_new_handler(on_failed_allocation);
  previous_terminate = std::set_terminate(on_uncaught_exception);
}

MemoryActivity::MemoryActivity(const char* what) : previous_(current_activity.exchange(what)) {}
MemoryActivity::~MemoryActivity() { current_activity.store(previous_); }
const char* MemoryActivity::current() { return current_activity.load(); }
