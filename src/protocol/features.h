// Protocol features our own sites agree on when a client logs in, beyond what every peer speaks.
// A client of ours lists what it supports in a ninth field of its authentication, which other
// servers never read; a server of ours answers such a client's successful verification with "0"
// followed by the features both support, and every other client with the bare "0".
//
//   features     = [feature *("," feature)]
//   feature      = 1*32(ALPHA / DIGIT / "-")      unknown names are ignored
//   verification = "0" [";" features]             the extended form only for a client that listed
//
// Example: the authentication 3;1000;;119.4;2.1.5.100;0;119;1;nulls; and the answer 0;nulls .
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tramolin {

enum Feature : std::uint32_t {
  // A column that is NULL at the sender travels as an explicit NULL and is cleared at the
  // receiver; without it an absent column is left as it is.
  kFeatureExplicitNulls = 1U << 0,
  // The server may compare a table with the copy's by digests (pkSprawdzenie), between cycles.
  kFeatureTableCheck = 1U << 1,
};

using FeatureSet = std::uint32_t;

// Everything this program supports.
inline constexpr FeatureSet kSupportedFeatures = kFeatureExplicitNulls | kFeatureTableCheck;

std::string FeatureListText(FeatureSet features);
// The known features a list names; anything else in it is ignored.
FeatureSet ParseFeatureList(std::string_view text);

// The successful verification of a client, "0" with the agreed features when the client listed
// any (even none known), the bare "0" otherwise; and the features such an answer agrees on (none
// in the bare form).
std::string BuildVerificationAgreement(bool client_listed, FeatureSet agreed);
FeatureSet ParseAgreedFeatures(std::string_view verification_payload);

}  // namespace tramolin
