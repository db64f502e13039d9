// NTFS's order of names in a directory index: names compared code unit by
// code unit in upper case, by the volume's own $UpCase table, the shorter
// first when one begins the other; names equal in upper case (two names in
// the POSIX namespace that differ in case) then by their units as written.
// Windows lists a directory in this order.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tidwen {

// The upper-case form of every UTF-16 code unit, as $UpCase gives it.
using UpcaseTable = std::vector<std::uint16_t>;
inline constexpr std::size_t kUpcaseUnits = 65536;

// Compares two names held as WTF-8 (UTF-8, with unpaired surrogates as
// three-byte forms) in NTFS's order: negative, zero or positive.
int CollateNames(std::string_view a, std::string_view b, const UpcaseTable& upcase);

}  // namespace tidwen
