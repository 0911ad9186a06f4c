#include "cli/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

// Carriage return, the text, then erase to the end of the line: the line is redrawn in place.
void write_all(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n <= 0) return;  // a display that cannot be written is not worth stopping a run for
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

double seconds_between(Progress::Clock::time_point from, Progress::Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

std::string short_duration(double seconds) {
  const long long s = std::llround(std::max(0.0, seconds));
  char buffer[32];
  if (s < 60)
    std::snprintf(buffer, sizeof buffer, "%llds", s);
  else if (s < 3600)
    std::snprintf(buffer, sizeof buffer, "%lldm%02llds", s / 60, s % 60);
  else
    std::snprintf(buffer, sizeof buffer, "%lldh%02lldm", s / 3600, s % 3600 / 60);
  return buffer;
}

std::string progress_line(const std::string& what, long long done, long long total,
                          double elapsed_seconds) {
  const long long percent = total > 0 ? done * 100 / total : 100;
  std::string line = what + " " + std::to_string(done) + " of " + std::to_string(total) + " (" +
                     std::to_string(percent) + "%), " + short_duration(elapsed_seconds) +
                     " elapsed";
  if (done > 0 && done < total) {
    const double left =
        elapsed_seconds / static_cast<double>(done) * static_cast<double>(total - done);
    line += ", about " + short_duration(left) + " left";
  }
  return line;
}

Progress::Progress(std::string what_, long long total_) : Progress(std::move(what_), total_, 2) {}

Progress::Progress(std::string what_, long long total_, int fd_)
    : what(std::move(what_)),
      total(total_),
      fd(fd_),
      enabled(::isatty(fd_) == 1),
      start(Clock::now()),
      last_draw(start) {}

Progress::~Progress() { finish(); }

void Progress::tick() {
  ++done;
  if (!enabled) return;
  const Clock::time_point now = Clock::now();
  if (drawn && seconds_between(last_draw, now) < min_interval) return;
  write_all(fd, "\r" + progress_line(what, done, total, seconds_between(start, now)) + "\033[K");
  last_draw = now;
  drawn = true;
}

void Progress::finish() {
  if (drawn) write_all(fd, "\r\033[K");
  drawn = false;
  enabled = false;
}
