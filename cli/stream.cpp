#include "cli/stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace pelmora::cli {

bool Source::More() {
  if (ended_) return false;
  const std::size_t kept = end_ - begin_;
  const std::size_t largest = limit_ + kInitial;
  // Consumed bytes make room: the window moves to the front when it fills
  // at most half the buffer, or when the buffer is as large as it gets.
  // More is asked for when the window holds no whole record, so what moves
  // is the unfinished record at the end of what was read, and each byte
  // moves about once.
  if (begin_ > 0 && (kept <= capacity_ / 2 || capacity_ >= largest)) {
    std::memmove(buffer_, buffer_ + begin_, kept);
    begin_ = 0;
    end_ = kept;
  }
  if (capacity_ - end_ <= capacity_ / 4 && capacity_ < largest) {
    // The window first moves to the front, so that growing in place (a
    // large block is remapped, not copied) keeps it whole.
    if (begin_ > 0) {
      std::memmove(buffer_, buffer_ + begin_, kept);
      begin_ = 0;
      end_ = kept;
    }
    const std::size_t capacity = std::min(largest, std::max(kInitial, 2 * capacity_));
    char* const grown = static_cast<char*>(std::realloc(buffer_, capacity));  // not zero-filled
    if (grown == nullptr) throw std::bad_alloc();
    buffer_ = grown;
    capacity_ = capacity;
  }
  if (end_ == capacity_) return true;  // full: the caller must consume first
  const std::size_t got = Read(buffer_ + end_, capacity_ - end_);
  end_ += got;
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
