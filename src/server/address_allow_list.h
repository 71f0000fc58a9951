// Which peers may connect to the server: an allow list of wildcard masks matched against the
// peer's host name and its dotted address.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tramolin {

// True when the list is empty, the address is the loopback 127.0.0.1 or the exempt address (when
// one is set), or an entry matches the host name or else the address (MatchesWildcard, in list
// order). An entry that is no valid mask matches nothing.
bool IsAddressAllowed(std::string_view host, std::string_view address,
                      const std::vector<std::string>& allow_list,
                      std::string_view exempt_address = {});

}  // namespace tramolin
