#include "server/address_allow_list.h"

#include "util/wildcard.h"

namespace tramolin {
namespace {

bool MatchesMask(std::string_view text, std::string_view mask) {
  try {
    return MatchesWildcard(text, mask);
  } catch (const InvalidMaskError&) {
    return false;
  }
}

}  // namespace

bool IsAddressAllowed(std::string_view host, std::string_view address,
                      const std::vector<std::string>& allow_list, std::string_view exempt_address) {
  if (allow_list.empty() || address == "127.0.0.1") return true;
  if (!exempt_address.empty() && address == exempt_address) return true;
  for (const std::string& entry : allow_list) {
    if (MatchesMask(host, entry) || MatchesMask(address, entry)) return true;
  }
  return false;
}

}  // namespace tramolin
