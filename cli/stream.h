// Streaming input and output of the pelmora command: input in large chunks
// from a file descriptor (or from memory, for tests and fuzzing), output
// collected and written in large blocks.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace pelmora::cli {

class Source {
 public:
  Source() = default;
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  virtual ~Source() { std::free(buffer_); }
  // The bytes read and not yet consumed.
  std::string_view Window() const { return std::string_view(buffer_ + begin_, end_ - begin_); }
  // Reads more, keeping the window; false when the input has ended (or
  // failed: see Failed). The buffer starts at kInitial bytes and doubles
  // only when a read would find less than a quarter of it free after the
  // window is moved to its front, so a window of n bytes costs O(n) in
  // copies however small the pieces of the input are. It never grows
  // beyond Limit() + kInitial bytes: the caller asks for more only while
  // the window holds less than Limit() bytes.
  bool More();
  static constexpr std::size_t kInitial = std::size_t{1} << 16;
  void SetLimit(std::size_t limit) { limit_ = limit; }
  std::size_t Limit() const { return limit_; }
  bool Ended() const { return ended_; }
  // Whether the input ended well: the window's last record is whole. After
  // a failed read it may be cut short.
  bool AtEnd() const { return ended_ && !Failed(); }
  void Consume(std::size_t n) { begin_ += n; }
  virtual bool Failed() const { return false; }
  // The errno of a failed read.
  virtual int Error() const { return 0; }

 protected:
  // Appends at most `room` bytes at `to`; returns how many (0 at the end).
  virtual std::size_t Read(char* to, std::size_t room) = 0;

 private:
  char* buffer_ = nullptr;  // malloc'd, so that it grows in place where it can
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // the window is [begin_, end_)
  std::size_t end_ = 0;
  std::size_t limit_ = std::size_t{1} << 62;
  bool ended_ = false;
};

// Reads a file descriptor.
class FdSource final : public Source {
 public:
  explicit FdSource(int fd) : fd_(fd) {}
  bool Failed() const override { return failed_; }
  int Error() const override { return error_; }

 protected:
  std::size_t Read(char* to, std::size_t room) override;

 private:
  int fd_;
  bool failed_ = false;
  int error_ = 0;
};

// Hands out a text in pieces of at most `piece` bytes, so that every way a
// record can be cut is met.
class MemorySource final : public Source {
 public:
  MemorySource(std::string_view text, std::size_t piece) : text_(text), piece_(piece) {}

 protected:
  std::size_t Read(char* to, std::size_t room) override;

 private:
  std::string_view text_;
  std::size_t piece_;
};

// Collects output and hands it on in large blocks.
class Sink {
 public:
  virtual ~Sink() = default;
  // Large pieces go through without a copy, so that the buffer stays near
  // kBlock bytes whatever the size of a record.
  void Put(std::string_view bytes) {
    if (out_.size() + bytes.size() < kBlock) {
      out_.append(bytes);
      return;
    }
    Flush();
    if (bytes.size() < kBlock) {
      out_.append(bytes);
    } else if (!Write(bytes)) {
      failed_ = true;
    }
  }
  void Put(char c) { out_.push_back(c); }
  std::string& Buffer() { return out_; }
  // Hands everything on; false when this or any earlier write failed, so
  // that a block lost on the way is never reported as written.
  bool Flush() {
    if (!out_.empty() && !Write(out_)) failed_ = true;
    out_.clear();
    return !failed_;
  }
  static constexpr std::size_t kBlock = 1 << 18;

 protected:
  virtual bool Write(std::string_view bytes) = 0;

 private:
  std::string out_;
  bool failed_ = false;
};

class FdSink final : public Sink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}

 protected:
  bool Write(std::string_view bytes) override;

 private:
  int fd_;
};

class StringSink final : public Sink {
 public:
  std::string text;

 protected:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
};

}  // namespace pelmora::cli
