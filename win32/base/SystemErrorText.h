// The system's own words for a Windows error code, for messages the operator reads.
#pragma once

#include <string>

namespace zorvi {

/// The system's message for an error code, in UTF-8, without its trailing line end.
std::string SystemErrorText(unsigned long code);

} // namespace zorvi
