// The vendor's address service: a client asks where its server is now, a server publishes its
// external address. Requests are asynchronous HTTPS GETs; the reply is a short list of items.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/http_get.h"
#include "engine/host_services.h"

namespace tramolin {

// The DynDNS section of the configuration and the identity sent with every request. All text is
// code page 1250 and goes into the query as it stands. Every member has an initializer, so
// designated initializers may leave any of them out.
struct AddressServiceSettings {
  std::string server_url{};  // empty: neither look-up nor publishing happens
  std::string customer_number{};
  int copy_number = 0;        // the client's database copy (the server sends 0)
  int remote_port = 17846;    // the server's externally reachable port
  std::string remote_addr{};  // published only when not blank
  std::string remote_host{};  // published together with remote_addr
};

struct ServerAddress {
  std::string host{};
  std::uint16_t port = 0;

  bool operator==(const ServerAddress&) const = default;
};

// The reply's items: separated by commas and by any blanks, tabs or line breaks; an item that
// begins with a double quote runs to the closing quote, a doubled quote inside standing for one.
std::vector<std::string> SplitReplyItems(std::string_view reply);
// The items as one comma-separated list; an item that would not read back as itself is quoted.
std::string JoinReplyItems(const std::vector<std::string>& items);
// The text after the first "=" of the first item whose name is key (case ignored), else "".
std::string ReplyValue(const std::vector<std::string>& items, std::string_view key);
// An address only when result is exactly "1", remote_addr is not empty and remote_port is a
// number from 1 to 65535; anything else cannot be connected to and counts as a failed look-up.
std::optional<ServerAddress> AddressFromReply(const std::vector<std::string>& items);

class AddressService : public QObject {
 public:
  using Done = std::function<void(std::optional<ServerAddress>)>;

  // host must outlive the service.
  explicit AddressService(HostServices& host, QObject* parent = nullptr);

  // Tests: a short time-out, a trusted local certificate.
  void SetHttpOptions(HttpGetOptions options) { http_options_ = std::move(options); }

  // Client side. done is called exactly once, later on the event loop, never from inside this
  // call: with the address, or with none after a failure, the time-out, an unusable reply or an
  // empty server URL. When the service is destroyed first, done is never called.
  void LookUpServerAddress(const AddressServiceSettings& settings, Done done);

  // Server side: reports the external port (and address, when configured) and logs what the
  // service answered. Does nothing when the server URL is empty.
  void PublishServerAddress(const AddressServiceSettings& settings);

 private:
  HostServices& host_;
  HttpGetOptions http_options_;
};

}  // namespace tramolin
