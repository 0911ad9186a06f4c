// Wall-clock and processor-time stopwatch for the timing lines of a run.
#pragma once

#include <ctime>
#include <string>

class StopWatch {
 public:
  bool on;
  clock_t startTime;
  clock_t finishTime;
  unsigned long elapsedTime;  ///< finishTime - startTime, in clock ticks
  double cpu_time_used;       ///< processor seconds of the last start-stop interval
  time_t wall_start;
  time_t wall_finish;
  double diff_sec;  ///< wall-clock seconds of the last start-stop interval (1 s resolution)

  StopWatch();
  void reset();
  /// Starts a new interval; does nothing while already running.
  void start();
  /// Ends the interval; does nothing when stopped, so a second stop keeps the first result.
  void stop();
  bool isOn() const;
  /// "   d(d):hh(h):mm(m):ss(s):mmmm(millisec)" of the last wall-clock interval.
  std::string wall_time() const;
  std::string cpu_time() const;
  std::string cpu_used() const;
};

/// Formats a duration in seconds as the days/hours/minutes/seconds/millis line.
std::string format_duration(double seconds);
