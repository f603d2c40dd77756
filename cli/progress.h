// The progress line of a long batch on a terminal: bytes read (of the total
// when the input is a file of known size), rows or records done, their
// rate, and the time left when it can be known; one line on standard error,
// rewritten in place at most four times a second and erased at the end.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace pelmora::cli {

class Progress {
 public:
  using Clock = std::chrono::steady_clock;
  // `total`: the input's size in bytes, 0 when unknown.
  Progress(std::FILE* out, std::size_t total);
  // After each record: redraws when a quarter of a second has passed since
  // the last drawing (the clock is read every 64 calls).
  void Update(std::size_t bytes, std::size_t records) {
    if (++calls_ % 64 == 0) Tick(bytes, records, Clock::now());
  }
  // Draws at `now` if due: the testable part of Update.
  void Tick(std::size_t bytes, std::size_t records, Clock::time_point now);
  // Erases the line, if one is drawn (before a message, and at the end).
  void Clear();

  // The line for `bytes` and `records` after `seconds`.
  static std::string Line(std::size_t bytes, std::size_t total, std::size_t records,
                          double seconds);

 private:
  std::FILE* out_;
  std::size_t total_;
  std::size_t calls_ = 0;
  Clock::time_point start_;
  Clock::time_point drawn_at_;
  std::size_t drawn_ = 0;  // the width of the line on the terminal, 0: none
};

}  // namespace pelmora::cli
