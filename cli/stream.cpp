#include "cli/stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pelmora::cli {

bool Source::More() {
  if (ended_) return false;
  // Drop what was consumed, then make room for a chunk (at least 1 MiB, and
  // at least as much as the window holds, so a long record costs linear
  // time).
  buffer_.erase(0, begin_);
  begin_ = 0;
  const std::size_t kept = buffer_.size();
  const std::size_t room = std::max<std::size_t>(std::size_t{1} << 20, kept);
  buffer_.resize(kept + room);
  const std::size_t got = Read(buffer_.data() + kept, room);
  buffer_.resize(kept + got);
  if (got == 0) ended_ = true;
  return got != 0;
}

std::size_t FdSource::Read(char* to, std::size_t room) {
  for (;;) {
    const ssize_t got = ::read(fd_, to, room);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR) continue;
    failed_ = true;
    error_ = errno;
    return 0;
  }
}

std::size_t MemorySource::Read(char* to, std::size_t room) {
  const std::size_t n = std::min({room, piece_, text_.size()});
  std::memcpy(to, text_.data(), n);
  text_.remove_prefix(n);
  return n;
}

bool FdSink::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

}  // namespace pelmora::cli
