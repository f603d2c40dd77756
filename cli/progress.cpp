#include "cli/progress.h"

#include <cinttypes>

namespace pelmora::cli {

namespace {

constexpr auto kInterval = std::chrono::milliseconds(250);

std::string Bytes(std::size_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
  return text;
}

}  // namespace

Progress::Progress(std::FILE* out, std::size_t total)
    : out_(out), total_(total), start_(Clock::now()), drawn_at_(start_) {}

std::string Progress::Line(std::size_t bytes, std::size_t total, std::size_t records,
                           double seconds) {
  std::string line = "pelmora: " + Bytes(bytes);
  if (total > 0) {
    line += " of " + Bytes(total) + " (" + std::to_string(bytes * 100 / total) + "%)";
  }
  line += ", " + std::to_string(records) + " records";
  if (seconds > 0) {
    line += ", " +
            std::to_string(static_cast<std::uint64_t>(static_cast<double>(records) / seconds)) +
            "/s";
    if (total > bytes && bytes > 0) {
      const auto left = static_cast<std::uint64_t>(static_cast<double>(total - bytes) /
                                                   (static_cast<double>(bytes) / seconds));
      char text[32];
      std::snprintf(text, sizeof text, ", %" PRIu64 ":%02" PRIu64 " left", left / 60, left % 60);
      line += text;
    }
  }
  return line;
}

void Progress::Tick(std::size_t bytes, std::size_t records, Clock::time_point now) {
  if (now - drawn_at_ < kInterval) return;
  drawn_at_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::string line = Line(bytes, total_, records, seconds);
  // Spaces over what is left of a longer line before.
  if (drawn_ > line.size()) line.append(drawn_ - line.size(), ' ');
  std::fprintf(out_, "\r%s", line.c_str());
  std::fflush(out_);
  drawn_ = line.size();
}

void Progress::Clear() {
  if (drawn_ == 0) return;
  std::fprintf(out_, "\r%*s\r", static_cast<int>(drawn_), "");
  std::fflush(out_);
  drawn_ = 0;
}

}  // namespace pelmora::cli
