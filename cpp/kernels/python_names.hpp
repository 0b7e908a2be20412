#pragma once

#include <string_view>

namespace tarvo::kernels {

// Whether an ASCII identifier is a name that Python's evaluation binds and
// looks up as written: not a keyword, not __debug__ (a constant). Non-ASCII
// names are normalised by Python's parser and are not taken here.
bool is_plain_name(std::string_view identifier);

// Whether `text` is an ASCII identifier: a letter or "_", then letters, digits and "_".
bool is_ascii_identifier(std::string_view text);

}  // namespace tarvo::kernels
