#include "util/wildcard.h"

#include <bitset>
#include <string>
#include <vector>

#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr int kMaxStars = 30;

// One step of a mask: a run of any characters, or a test of exactly one character.
struct MaskStep {
  bool star = false;
  std::bitset<256> accepted;  // the upper-case bytes this step takes
};

unsigned char Byte(char c) { return static_cast<unsigned char>(Cp1250Upper(c)); }

// Parses the set starting after "[" at mask[pos]; returns the position after its "]".
std::size_t ParseSet(std::string_view mask, std::size_t pos, MaskStep& step) {
  const std::size_t open = pos - 1;
  const bool negated = pos < mask.size() && mask[pos] == '!';
  if (negated) ++pos;
  if (pos < mask.size() && mask[pos] == '-')
    throw InvalidMaskError(mask, static_cast<int>(pos + 1));
  while (pos < mask.size() && mask[pos] != ']') {
    const unsigned char low = Byte(mask[pos]);
    unsigned char high = low;
    if (pos + 2 < mask.size() && mask[pos + 1] == '-' && mask[pos + 2] != ']') {
      high = Byte(mask[pos + 2]);
      pos += 2;
    }
    for (unsigned value = low; value <= high; ++value) step.accepted.set(value);
    ++pos;
  }
  if (pos >= mask.size()) throw InvalidMaskError(mask, static_cast<int>(open + 1));
  if (negated) step.accepted.flip();
  return pos + 1;
}

std::vector<MaskStep> ParseMask(std::string_view mask) {
  std::vector<MaskStep> steps;
  int stars = 0;
  for (std::size_t pos = 0; pos < mask.size();) {
    MaskStep step;
    const char c = mask[pos++];
    if (c == '*') {
      if (++stars > kMaxStars) throw InvalidMaskError(mask, static_cast<int>(pos));
      step.star = true;
    } else if (c == '?') {
      step.accepted.set();
    } else if (c == '[') {
      pos = ParseSet(mask, pos, step);
    } else {
      step.accepted.set(Byte(c));
    }
    steps.push_back(step);
  }
  return steps;
}

}  // namespace

InvalidMaskError::InvalidMaskError(std::string_view mask, int position)
    : std::runtime_error(
          Concat({"'", mask, "' is an invalid mask at (", std::to_string(position), ")"})) {}

bool MatchesWildcard(std::string_view text, std::string_view mask) {
  const std::vector<MaskStep> steps = ParseMask(mask);
  // Greedy walk that, on a mismatch, lets the last "*" take one more character.
  std::size_t t = 0, s = 0;
  std::size_t last_star = steps.size(), resume_text = 0;
  while (t < text.size()) {
    if (s < steps.size() && steps[s].star) {
      last_star = s++;
      resume_text = t;
    } else if (s < steps.size() && steps[s].accepted.test(Byte(text[t]))) {
      ++s;
      ++t;
    } else if (last_star < steps.size()) {
      s = last_star + 1;
      t = ++resume_text;
    } else {
      return false;
    }
  }
  while (s < steps.size() && steps[s].star) ++s;
  return s == steps.size();
}

}  // namespace tramolin
