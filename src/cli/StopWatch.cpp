#include "cli/StopWatch.h"

#include <cstdint>
#include <iomanip>
#include <sstream>

namespace {
constexpr double kTicksPerSecond = 1000000.0;

std::string layout(std::uint32_t days, std::uint32_t hours, std::uint32_t minutes,
                   std::uint32_t seconds, std::uint32_t millis) {
  std::ostringstream out;
  out << std::setw(4) << days << "(d):" << std::setw(2) << hours << "(h):" << std::setw(2)
      << minutes << "(m):" << std::setw(2) << seconds << "(s):" << std::setw(4) << millis
      << "(millisec)";
  return out.str();
}
}  // namespace

std::string format_duration(double seconds) {
  double r = seconds;
  const auto days = static_cast<std::uint32_t>(r / 86400);
  r -= static_cast<double>(days * 86400u);
  const auto hours = static_cast<std::uint32_t>(r / 3600);
  r -= static_cast<double>(hours * 3600u);
  const auto minutes = static_cast<std::uint32_t>(r / 60);
  r -= static_cast<double>(minutes * 60u);
  const auto secs = static_cast<std::uint32_t>(r);
  const auto millis = static_cast<std::uint32_t>((r - secs) * 1000);
  return layout(days, hours, minutes, secs, millis);
}

StopWatch::StopWatch() : cpu_time_used(0.0) { reset(); }

void StopWatch::reset() {
  startTime = clock();
  finishTime = startTime;
  elapsedTime = 0;
  on = false;
  wall_start = time(nullptr);
  wall_finish = wall_start;
  diff_sec = 0;
}

void StopWatch::start() {
  if (on) return;
  reset();
  on = true;
}

void StopWatch::stop() {
  if (!on) return;
  finishTime = clock();
  elapsedTime = static_cast<unsigned long>(finishTime - startTime);
  cpu_time_used = static_cast<double>(finishTime) / kTicksPerSecond -
                  static_cast<double>(startTime) / kTicksPerSecond;
  on = false;
  wall_finish = time(nullptr);
  diff_sec = difftime(wall_finish, wall_start);
}

bool StopWatch::isOn() const { return on; }

std::string StopWatch::wall_time() const { return format_duration(diff_sec); }

std::string StopWatch::cpu_time() const {
  const auto ticks = static_cast<std::uint32_t>(elapsedTime);
  if (ticks <= 999999u) return layout(0, 0, 0, 0, ticks * 1000u / 1000000u);
  const std::uint32_t whole = ticks / 1000000u;
  return layout(0, whole / 3600u, (whole % 3600u) / 60u, whole % 60u, 0);
}

std::string StopWatch::cpu_used() const {
  std::ostringstream out;
  out << format_duration(cpu_time_used) << " (total sec = " << cpu_time_used << ")";
  return out.str();
}
