// Allocation failures as a message: an allocation that fails anywhere, in any thread, prints
// "error: out of memory while <activity>" and ends the run through the failure path (exit
// status 1), instead of an abort with a library's exception text. The activity is what the
// run is doing at the time, named by the stage that set it.
#pragma once

#include <string>

/// Installs the handler for the rest of the process (once, from main). An exception that
/// would end the process uncaught (one thrown in a worker thread, say) also leaves through
/// the failure path, with its own text.
void install_out_of_memory_handler();

/// The message for an allocation that failed during `activity`.
std::string out_of_memory_message(const char* activity);

/// While alive, names what the run is doing (a string that outlives this object) for
/// the message; the activity before it comes back when it goes. Set from the main thread: the
/// worker threads it starts share its activity.
class MemoryActivity {
 public:
  explicit MemoryActivity(const char* what);
  ~MemoryActivity();
  MemoryActivity(const MemoryActivity&) = delete;
  MemoryActivity& operator=(const MemoryActivity&) = delete;

  /// The activity named now.
  static const char* current();

 private:
  const char* previous_;
};
