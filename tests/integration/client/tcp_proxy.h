// A loopback TCP proxy for fault tests: forwards the bytes of each accepted connection to a
// target port and back, on the Qt event loop, and can cut the link after a number of bytes or at
// a frame of a given packet type in one direction. A cut aborts the sending side's socket and
// closes the receiving side's once the bytes delivered to it are written; nothing more passes.
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tramolin::testing {

enum class Direction { kServerToClient, kClientToServer };
// Whether the frame a cut waits for reaches its receiver (the cut follows it) or not (the cut
// comes just before its first byte).
enum class FrameFate { kDelivered, kDropped };

class TcpProxy {
 public:
  // Listens on a free loopback port (Port()) and connects each client to `target_port`.
  explicit TcpProxy(quint16 target_port);
  ~TcpProxy();
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  quint16 Port() const { return listener_.serverPort(); }

  // Cuts the link once `bytes` more bytes have passed in `direction`, counted from now; the
  // bytes up to that point are delivered, the rest is dropped.
  void CutAfterBytes(Direction direction, std::int64_t bytes);
  // Cuts the link at the next frame of `type` in `direction`: after it or just before it.
  void CutAtFrame(Direction direction, std::uint8_t type, FrameFate fate);
  // Forgets an armed cut that has not happened.
  void Disarm() { rule_.reset(); }

  // Links cut so far, and links accepted so far.
  int Cuts() const { return cuts_; }
  int Links() const { return links_; }
  // Where the last cut fell in the watched direction's frame stream: the type and encoded
  // length of the frame it interrupted, and how many of its bytes (header included) had passed;
  // a cut between frames has no frame.
  struct CutPoint {
    std::optional<std::uint8_t> frame_type;
    std::int64_t frame_bytes = 0;
    std::int64_t passed = 0;
  };
  const CutPoint& LastCut() const { return last_cut_; }
  // Types of the complete frames that passed in a direction, in order, over every link.
  const std::vector<std::uint8_t>& Frames(Direction direction) const {
    return frames_[Index(direction)];
  }

 private:
  struct Rule {
    Direction direction;
    std::int64_t bytes_left = 0;             // for a cut after bytes
    std::optional<std::uint8_t> frame_type;  // for a cut at a frame
    FrameFate fate = FrameFate::kDelivered;
  };
  // Follows the frame headers of one direction's byte stream.
  struct FrameScanner {
    enum class Part { kType, kSeparator, kLength, kBody };
    Part part = Part::kType;
    std::uint8_t type = 0;
    std::int64_t length = 0;  // encoded length, once read
    std::int64_t left = 0;    // body bytes still to come
    std::int64_t passed = 0;  // bytes of the current frame so far, header included
    struct Stop {
      std::size_t taken;
      bool stopped;
    };
    // Takes bytes up to the end (or, `before`, the start) of the first frame of `stop_type` in
    // them, adding the type of every completed frame to `frames`; all of them when there is no
    // such frame.
    Stop Scan(const char* data, std::size_t size, std::optional<std::uint8_t> stop_type,
              bool before, std::vector<std::uint8_t>& frames);
  };
  struct Link {
    std::unique_ptr<QTcpSocket> client;
    std::unique_ptr<QTcpSocket> server;
    FrameScanner scanners[2];
    bool cut = false;
  };

  static int Index(Direction direction) { return direction == Direction::kServerToClient ? 0 : 1; }
  void Accept();
  void Forward(Link& link, Direction direction);
  void Cut(Link& link, Direction direction);

  quint16 target_port_;
  QTcpServer listener_;
  std::vector<std::unique_ptr<Link>> links_list_;
  std::optional<Rule> rule_;
  std::vector<std::uint8_t> frames_[2];
  CutPoint last_cut_;
  int cuts_ = 0;
  int links_ = 0;
};

}  // namespace tramolin::testing
