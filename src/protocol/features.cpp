#include "protocol/features.h"

#include <array>
#include <utility>

namespace tramolin {
namespace {

constexpr std::array<std::pair<Feature, std::string_view>, 2> kFeatureNames = {{
    {kFeatureExplicitNulls, "nulls"},
    {kFeatureTableCheck, "check"},
}};

constexpr char kListSeparator = ',';

FeatureSet FeatureNamed(std::string_view name) {
  for (const auto& [feature, known] : kFeatureNames) {
    if (known == name) return feature;
  }
  return 0;
}

}  // namespace

std::string FeatureListText(FeatureSet features) {
  std::string text;
  for (const auto& [feature, name] : kFeatureNames) {
    if ((features & feature) == 0) continue;
    if (!text.empty()) text.push_back(kListSeparator);
    text.append(name);
  }
  return text;
}

FeatureSet ParseFeatureList(std::string_view text) {
  FeatureSet features = 0;
  while (!text.empty()) {
    const std::size_t comma = text.find(kListSeparator);
    features |= FeatureNamed(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
  return features;
}

std::string BuildVerificationAgreement(bool client_listed, FeatureSet agreed) {
  std::string payload = "0";
  if (client_listed) payload.append(";").append(FeatureListText(agreed));
  return payload;
}

FeatureSet ParseAgreedFeatures(std::string_view verification_payload) {
  const std::size_t separator = verification_payload.find(';');
  if (separator == std::string_view::npos) return 0;
  return ParseFeatureList(verification_payload.substr(separator + 1));
}

}  // namespace tramolin
