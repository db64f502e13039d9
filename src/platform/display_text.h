// Turning the bytes of a path into text that a person can read.
#pragma once

#include <string>
#include <string_view>

namespace tidwen {

// Valid UTF-8 for any bytes: valid UTF-8 sequences stay as they are, each
// byte of an invalid or truncated sequence becomes U+FFFD, and control
// characters (U+0000 to U+001F and U+007F) become their visible pictures
// (U+2400 to U+241F, U+2421), so a name with a newline stays on one line.
// For display only: the result is never used to address a file.
std::string DisplayText(std::string_view bytes);

}  // namespace tidwen
