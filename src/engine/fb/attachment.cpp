#include "engine/fb/attachment.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "engine/fb/api.h"

namespace tramolin::fb {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
    text.remove_suffix(1);
  }
  return text;
}

void AddParameterLine(detail::ParameterBlock& dpb, std::string_view line) {
  const std::size_t equals = line.find('=');
  const std::string name = Lower(Trimmed(line.substr(0, equals)));
  const std::string value(equals == std::string_view::npos ? "" : line.substr(equals + 1));
  if (name == "user_name") {
    dpb.AddString(isc_dpb_user_name, value);
  } else if (name == "password") {
    dpb.AddString(isc_dpb_password, value);
  } else if (name == "lc_ctype") {
    dpb.AddString(isc_dpb_lc_ctype, value);
  } else if (name == "sql_role_name") {
    dpb.AddString(isc_dpb_sql_role_name, value);
  } else {
    throw Error("Unknown connection parameter: " + std::string(line));
  }
}

// The DPB of a params text: one "name=value" per line (CR LF or LF), blank lines ignored.
void AddParameterLines(detail::ParameterBlock& dpb, std::string_view params) {
  while (!params.empty()) {
    const std::size_t end = params.find('\n');
    std::string_view line = params.substr(0, end);
    params.remove_prefix(end == std::string_view::npos ? params.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!Trimmed(line).empty()) AddParameterLine(dpb, line);
  }
}

}  // namespace

Attachment::Attachment() = default;

Attachment::~Attachment() {
  if (!IsOpen()) return;
  try {
    Detach();
  } catch (const Error&) {
    ForceClose();
  }
}

void Attachment::Open(const std::string& database, std::string_view params,
                      std::string_view engine_config) {
  if (IsOpen()) throw Error("The database connection is already open");
  detail::ParameterBlock dpb(Firebird::IXpbBuilder::DPB);
  dpb.AddInt(isc_dpb_sql_dialect, 1);
  AddParameterLines(dpb, params);
  if (!engine_config.empty()) dpb.AddString(isc_dpb_config, std::string(engine_config));
  const Owned<Firebird::IProvider> provider(detail::Master()->getDispatcher());
  handle_.reset(detail::Checked([&](auto* s) {
    return provider->attachDatabase(s, database.c_str(), dpb.Length(), dpb.Buffer());
  }));
  database_ = database;
}

bool Attachment::IsAlive() {
  if (!IsOpen()) return false;
  const std::array<unsigned char, 2> items = {isc_info_attachment_id, isc_info_end};
  std::array<unsigned char, 32> buffer{};
  try {
    detail::Checked([&](auto* s) {
      handle_->getInfo(s, items.size(), items.data(), buffer.size(), buffer.data());
    });
    return true;
  } catch (const Error&) {
    return false;
  }
}

void Attachment::Detach() {
  if (!IsOpen()) return;
  NotifyClosing(false);
  EndInterface(handle_, [](Firebird::IAttachment* attachment) {
    detail::Checked([&](auto* s) { attachment->detach(s); });
  });
}

void Attachment::ForceClose() noexcept {
  if (!IsOpen()) return;
  NotifyClosing(true);
  handle_.reset();
}

std::string Attachment::ServerVersion() {
  if (!IsOpen()) throw Error("The database connection is not open");
  const std::array<unsigned char, 2> items = {isc_info_firebird_version, isc_info_end};
  std::array<unsigned char, 512> buffer{};
  detail::Checked([&](auto* s) {
    handle_->getInfo(s, items.size(), items.data(), buffer.size(), buffer.data());
  });
  // clang-format off
  // The answer:
  //   isc_info_firebird_version   1 byte
  //   length of the rest          2 bytes, little-endian
  //   count of versions           1 byte
  //   per version: length 1 byte, text   (the first one is this connection's server)
  // clang-format on
  if (buffer[0] != isc_info_firebird_version) return {};
  const std::size_t length = buffer[4];
  return std::string(reinterpret_cast<const char*>(&buffer[5]), length);
}

void Attachment::AddDependent(Dependent* dependent) { dependents_.push_back(dependent); }

void Attachment::RemoveDependent(Dependent* dependent) {
  dependents_.erase(std::remove(dependents_.begin(), dependents_.end(), dependent),
                    dependents_.end());
}

void Attachment::NotifyClosing(bool force) noexcept {
  // Later registrations (statements, events) let go before the transactions they use.
  for (auto it = dependents_.rbegin(); it != dependents_.rend(); ++it)
    (*it)->OnAttachmentClosing(force);
}

}  // namespace tramolin::fb
