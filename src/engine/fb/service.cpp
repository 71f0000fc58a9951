#include "engine/fb/service.h"

#include <array>

#include "engine/fb/api.h"

namespace tramolin::fb {

namespace {

Firebird::IService* AttachService(const std::string& service, const std::string& user,
                                  const std::string& password) {
  detail::ParameterBlock spb(Firebird::IXpbBuilder::SPB_ATTACH);
  spb.AddString(isc_spb_user_name, user);
  spb.AddString(isc_spb_password, password);
  Firebird::IProvider* provider = detail::Master()->getDispatcher();
  try {
    Firebird::IService* handle = detail::Checked([&](auto* s) {
      return provider->attachServiceManager(s, service.c_str(), spb.Length(), spb.Buffer());
    });
    provider->release();
    return handle;
  } catch (...) {
    provider->release();
    throw;
  }
}

std::string ParseVersion(const std::array<unsigned char, 512>& buffer) {
  if (buffer[0] != isc_info_svc_server_version) throw Error("No server version in the answer");
  const std::size_t length = buffer[1] | (buffer[2] << 8);
  if (length + 3 > buffer.size()) throw Error("Malformed server version answer");
  return std::string(reinterpret_cast<const char*>(&buffer[3]), length);
}

}  // namespace

std::string ServerVersionOfService(const std::string& service, const std::string& user,
                                   const std::string& password) {
  Firebird::IService* handle = AttachService(service, user, password);
  try {
    const std::array<unsigned char, 1> items = {isc_info_svc_server_version};
    std::array<unsigned char, 512> buffer{};
    detail::Checked([&](auto* s) {
      handle->query(s, 0, nullptr, items.size(), items.data(), buffer.size(), buffer.data());
    });
    std::string version = ParseVersion(buffer);
    detail::Checked([&](auto* s) { handle->detach(s); });
    return version;
  } catch (...) {
    handle->release();
    throw;
  }
}

}  // namespace tramolin::fb
