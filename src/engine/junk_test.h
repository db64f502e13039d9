// The junk test as a verb: a file's bare name, its length and the chosen
// junk types in, the types it is listed under out, in the order the window
// lists them. No control is read or written.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "rules/junk_types.h"
#include "rules/never_offered.h"

namespace tidwen {

// A set of the sixteen junk types, by their index in kJunkTypes.
class JunkTypes {
 public:
  constexpr JunkTypes() = default;
  static constexpr JunkTypes All() { return JunkTypes(0xFFFF); }

  constexpr bool Has(int type) const { return (bits_ >> type & 1u) != 0; }
  constexpr void Add(int type) { bits_ = static_cast<std::uint16_t>(bits_ | 1u << type); }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(JunkTypes, JunkTypes) = default;

 private:
  constexpr explicit JunkTypes(std::uint16_t bits) : bits_(bits) {}
  std::uint16_t bits_ = 0;
};

// The type the type list shows as label ("*.tmp", "0字节"); nullopt for none.
std::optional<int> JunkTypeNamed(std::string_view label);

// Whether the end of name is the suffix of type (a suffix type), as listed
// or all in upper case. A name shorter than the suffix never matches.
bool MatchesJunkSuffix(std::string_view name, int type);

// The types a file is listed under: at most sixteen, in order.
struct JunkMatches {
  std::array<std::uint8_t, kJunkTypeCount> types{};
  int count = 0;
  void Add(int type) { types[static_cast<std::size_t>(count++)] = static_cast<std::uint8_t>(type); }
};

// The file test, with the length asked for by measure(): once for each
// chosen suffix type that the name matches, from type 14 down to 0, and once
// more for every file, as the window has always asked; onHit(type) for each
// type the file is listed under, as soon as it is known. A file named as
// never offered (IsNeverOfferedFile, in any case) is measured all the same
// and listed under none. What measure throws ends the test; the hits already
// given stay given.
template <class Measure, class OnHit>
void TestJunkFile(std::string_view name, JunkTypes chosen, Measure&& measure, OnHit&& onHit) {
  const bool offered = !IsNeverOfferedFile(name, /*ignoreAsciiCase=*/true);
  for (int type = kZeroLengthType - 1; type >= 0; --type) {
    if (!chosen.Has(type) || !MatchesJunkSuffix(name, type)) continue;
    if (measure() != 0 && offered) onHit(type);
  }
  // Measured whatever is chosen, so that a file that cannot be measured
  // fails the test whatever the choice.
  if (measure() == 0 && chosen.Has(kZeroLengthType) && offered) onHit(kZeroLengthType);
}

// The junk test of a file of a known length.
JunkMatches TestJunk(std::string_view name, std::int64_t length, JunkTypes chosen);

}  // namespace tidwen
