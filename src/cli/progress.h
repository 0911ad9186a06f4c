// A one-line progress display for long loops (simulation replicates, SNPs written). It is drawn
// on a terminal only: when the stream is a file or a pipe nothing is written, so logs and
// saved outputs stay byte-identical with or without it.
#pragma once

#include <chrono>
#include <string>

class Progress {
 public:
  using Clock = std::chrono::steady_clock;

  std::string what;            ///< what is counted, e.g. "replicates"
  long long total;             ///< count at the end
  long long done = 0;          ///< count so far
  int fd;                      ///< where the line goes
  bool enabled;                ///< fd is a terminal
  double min_interval = 0.25;  ///< seconds between two redraws
  Clock::time_point start;
  Clock::time_point last_draw;
  bool drawn = false;  ///< a line is on the screen and must be cleared

  /// Counts `total` items of `what`, drawing on standard error when it is a terminal.
  Progress(std::string what, long long total);
  /// Same on `fd`, drawing only when `fd` is a terminal.
  Progress(std::string what, long long total, int fd);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  /// One more item done; redraws the line when the last draw is old enough.
  void tick();
  /// Clears the line; later ticks draw nothing.
  void finish();
};

/// "replicates 250 of 1000 (25%), 3s elapsed, about 9s left".
std::string progress_line(const std::string& what, long long done, long long total,
                          double elapsed_seconds);

/// Whole seconds as "42s", "3m07s" or "2h05m".
std::string short_duration(double seconds);
