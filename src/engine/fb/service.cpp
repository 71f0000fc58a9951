#include "engine/fb/service.h"

#include <array>

#include "engine/fb/api.h"
#include "engine/fb/owned.h"

namespace tramolin::fb {

namespace {

Owned<Firebird::IService> AttachService(const std::string& service, const std::string& user,
                                        const std::string& password) {
  detail::ParameterBlock spb(Firebird::IXpbBuilder::SPB_ATTACH);
  spb.AddString(isc_spb_user_name, user);
  spb.AddString(isc_spb_password, password);
  const Owned<Firebird::IProvider> provider(detail::Master()->getDispatcher());
  return Owned<Firebird::IService>(detail::Checked([&](auto* s) {
    return provider->attachServiceManager(s, service.c_str(), spb.Length(), spb.Buffer());
  }));
}

// clang-format off
// The answer:
//   isc_info_svc_server_version   1 byte
//   length                        2 bytes, little-endian
//   text
// clang-format on
std::string ParseVersion(const std::array<unsigned char, 512>& buffer) {
  if (buffer[0] != isc_info_svc_server_version) throw Error("No server version in the answer");
  const std::size_t length = buffer[1] | (buffer[2] << 8);
  if (length + 3 > buffer.size()) throw Error("Malformed server version answer");
  return std::string(reinterpret_cast<const char*>(&buffer[3]), length);
}

}  // namespace

std::string ServerVersionOfService(const std::string& service, const std::string& user,
                                   const std::string& password) {
  Owned<Firebird::IService> handle = AttachService(service, user, password);
  const std::array<unsigned char, 1> items = {isc_info_svc_server_version};
  std::array<unsigned char, 512> buffer{};
  detail::Checked([&](auto* s) {
    handle->query(s, 0, nullptr, items.size(), items.data(), buffer.size(), buffer.data());
  });
  std::string version = ParseVersion(buffer);
  EndInterface(handle, [](Firebird::IService* service_manager) {
    detail::Checked([&](auto* s) { service_manager->detach(s); });
  });
  return version;
}

}  // namespace tramolin::fb
