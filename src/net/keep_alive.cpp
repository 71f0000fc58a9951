#include "net/keep_alive.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>

namespace tramolin {
namespace {

bool SetOption(int descriptor, int level, int name, int value) {
  return setsockopt(descriptor, level, name, &value, sizeof value) == 0;
}

std::optional<int> GetOption(int descriptor, int level, int name) {
  int value = 0;
  socklen_t size = sizeof value;
  if (getsockopt(descriptor, level, name, &value, &size) != 0) return std::nullopt;
  return value;
}

std::optional<int> PositiveNumber(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

}  // namespace

std::optional<KeepAlive> ParseKeepAlive(std::string_view text) {
  std::optional<int> values[3];
  std::size_t start = 0;
  for (std::optional<int>& value : values) {
    if (start > text.size()) return std::nullopt;
    const std::size_t end = std::min(text.find(',', start), text.size());
    value = PositiveNumber(text.substr(start, end - start));
    if (!value) return std::nullopt;
    start = end + 1;
  }
  if (start <= text.size()) return std::nullopt;  // a fourth field
  return KeepAlive{*values[0], *values[1], *values[2]};
}

bool ApplyKeepAlive(long long descriptor, const KeepAlive& settings) {
  const auto fd = static_cast<int>(descriptor);
  return fd >= 0 && SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1) &&
         SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, settings.idle_s) &&
         SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, settings.interval_s) &&
         SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, settings.probes) &&
         SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, settings.BoundMs());
}

std::optional<KeepAlive> ReadKeepAlive(long long descriptor) {
  const auto fd = static_cast<int>(descriptor);
  if (fd < 0 || GetOption(fd, SOL_SOCKET, SO_KEEPALIVE).value_or(0) == 0) return std::nullopt;
  const std::optional<int> idle = GetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE);
  const std::optional<int> interval = GetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL);
  const std::optional<int> probes = GetOption(fd, IPPROTO_TCP, TCP_KEEPCNT);
  if (!idle || !interval || !probes) return std::nullopt;
  return KeepAlive{*idle, *interval, *probes};
}

}  // namespace tramolin
