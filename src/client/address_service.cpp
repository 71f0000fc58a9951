#include "client/address_service.h"

#include <QMetaObject>
#include <charconv>
#include <utility>

#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

// Blanks, tabs, line breaks and the other control bytes all separate items.
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

void SkipBlanks(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
}

// The quoted item at text[pos] (the opening quote); a missing closing quote ends it at the end.
std::string ReadQuotedItem(std::string_view text, std::size_t& pos) {
  std::string item;
  ++pos;
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c != '"') {
      item += c;
    } else if (pos < text.size() && text[pos] == '"') {
      item += '"';
      ++pos;
    } else {
      break;
    }
  }
  return item;
}

bool NeedsQuotes(std::string_view item) {
  if (item.empty()) return true;
  for (const char c : item) {
    if (IsBlank(c) || c == ',' || c == '"') return true;
  }
  return false;
}

std::string QueryStart(const AddressServiceSettings& settings, int copy_number) {
  return Concat({settings.server_url, "?numer=", settings.customer_number,
                 "&baza_nr=", std::to_string(copy_number)});
}

}  // namespace

std::vector<std::string> SplitReplyItems(std::string_view reply) {
  std::vector<std::string> items;
  std::size_t pos = 0;
  SkipBlanks(reply, pos);
  while (pos < reply.size()) {
    if (reply[pos] == '"') {
      items.push_back(ReadQuotedItem(reply, pos));
    } else {
      const std::size_t start = pos;
      while (pos < reply.size() && !IsBlank(reply[pos]) && reply[pos] != ',') ++pos;
      items.emplace_back(reply.substr(start, pos - start));
    }
    SkipBlanks(reply, pos);
    if (pos < reply.size() && reply[pos] == ',') {
      // A comma closes the item before it; one at the very end leaves an empty item after it.
      ++pos;
      SkipBlanks(reply, pos);
      if (pos == reply.size()) items.emplace_back();
    }
  }
  return items;
}

std::string JoinReplyItems(const std::vector<std::string>& items) {
  std::string joined;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) joined += ',';
    if (!NeedsQuotes(items[i])) {
      joined += items[i];
      continue;
    }
    joined += '"';
    for (const char c : items[i]) joined.append(c == '"' ? 2 : 1, c);
    joined += '"';
  }
  return joined;
}

std::string ReplyValue(const std::vector<std::string>& items, std::string_view key) {
  for (const std::string& item : items) {
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos) continue;
    if (SameTextIgnoringCase(std::string_view(item).substr(0, equals), key)) {
      return item.substr(equals + 1);
    }
  }
  return {};
}

std::optional<ServerAddress> AddressFromReply(const std::vector<std::string>& items) {
  if (ReplyValue(items, "result") != "1") return std::nullopt;
  std::string host = ReplyValue(items, "remote_addr");
  const std::string port_text = ReplyValue(items, "remote_port");
  unsigned port = 0;
  const char* end = port_text.data() + port_text.size();
  const auto [stop, error] = std::from_chars(port_text.data(), end, port);
  if (host.empty() || error != std::errc() || stop != end || port < 1 || port > 65535) {
    return std::nullopt;
  }
  return ServerAddress{std::move(host), static_cast<std::uint16_t>(port)};
}

AddressService::AddressService(HostServices& host, QObject* parent)
    : QObject(parent), host_(host) {}

void AddressService::LookUpServerAddress(const AddressServiceSettings& settings, Done done) {
  if (settings.server_url.empty()) {
    QMetaObject::invokeMethod(
        this, [done = std::move(done)] { done(std::nullopt); }, Qt::QueuedConnection);
    return;
  }
  const std::string url = QueryStart(settings, settings.copy_number);
  host_.Log("Pobieranie adresu z DynDNS ("_cp + url + ") ...", kLogProgress);
  HttpGet(url, host_, this, http_options_, [this, done = std::move(done)](const std::string& body) {
    const std::vector<std::string> items = SplitReplyItems(body);
    if (items.empty()) {
      host_.Log("Nie udało się pobrać adresu z DynDNS ..."_cp, kLogProgress);
      done(std::nullopt);
      return;
    }
    host_.Log(Concat({"Pobrano adres z DynDNS ("_cp, JoinReplyItems(items), ") ..."}),
              kLogProgress);
    done(AddressFromReply(items));
  });
}

void AddressService::PublishServerAddress(const AddressServiceSettings& settings) {
  if (settings.server_url.empty()) return;
  std::string url =
      QueryStart(settings, 0) + "&remote_port=" + std::to_string(settings.remote_port);
  if (!Trim(settings.remote_addr).empty()) {
    url += Concat({"&remote_addr=", settings.remote_addr, "&remote_host=", settings.remote_host});
  }
  HttpGet(url, host_, this, http_options_, [this](const std::string& body) {
    const std::vector<std::string> items = SplitReplyItems(body);
    host_.Log(Concat({"Adres zewnętrzny: "_cp, ReplyValue(items, "remote_host"),
                      " port zewnętrzny:"_cp, ReplyValue(items, "remote_port")}),
              kLogProgress);
  });
}

}  // namespace tramolin
