// Turning the bytes of a path into text that a person can read.
#pragma once

#include <string>
#include <string_view>

namespace tidwen {

// Valid UTF-8 for any bytes: valid UTF-8 sequences stay as they are, each
// byte of an invalid or truncated sequence becomes U+FFFD, and control
// characters (U+0000 to U+001F and U+007F) become their visible pictures
// (U+2400 to U+241F, U+2421), so a name with a newline stays on one line.
// The characters that have no picture but would break the line or vanish,
// C1 controls (U+0080 to U+009F) and U+2028 and U+2029, become one U+FFFD
// each.
// For display only: the result is never used to address a file.
std::string DisplayText(std::string_view bytes);

}  // namespace tidwen
