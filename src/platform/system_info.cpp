#include "platform/system_info.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <memory>
#include <system_error>

namespace tramolin {
namespace {

constexpr std::size_t kComputerNameLength = 15;

std::string HostName() {
  std::array<char, 256> buffer{};
  if (gethostname(buffer.data(), buffer.size() - 1) != 0) return {};
  return buffer.data();
}

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

std::string DottedAddress(const sockaddr* address) {
  std::array<char, INET_ADDRSTRLEN> text{};
  sockaddr_in ipv4{};
  std::memcpy(&ipv4, address, sizeof ipv4);
  if (inet_ntop(AF_INET, &ipv4.sin_addr, text.data(), text.size()) == nullptr) return {};
  return text.data();
}

}  // namespace

std::string ComputerName() { return HostName().substr(0, kComputerNameLength); }

std::string LocalAddresses() {
  const std::string host = HostName();
  if (host.empty()) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
  addrinfo* raw = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &raw) != 0) return {};
  const std::unique_ptr<addrinfo, AddrInfoDeleter> list(raw);
  std::string joined;
  for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    const std::string address = DottedAddress(entry->ai_addr);
    if (address.empty()) continue;
    if (!joined.empty()) joined += '/';
    joined += address;
  }
  return joined;
}

std::string ComputerDescription() { return ComputerName() + " (" + LocalAddresses() + ")"; }

std::filesystem::path ProgramPath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : path;
}

std::filesystem::path AppDirectory(std::string_view chosen,
                                   const std::filesystem::path& executable) {
  if (chosen.empty()) return executable.parent_path();
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(chosen, error);
  if (error) folder = chosen;
  folder = folder.lexically_normal();
  return folder.has_filename() ? folder : folder.parent_path();
}

std::string GetFileVersion(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::equivalent(file, ProgramPath(), error) || error) return {};
  return TRAMOLIN_VERSION;
}

}  // namespace tramolin
