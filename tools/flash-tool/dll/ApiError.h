// Copying a message into a caller's C buffer, shared by both libraries.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace zorvi {

/// Writes as much of the message as fits, always NUL-terminated; returns 0 so that
/// a failing API function can end with `return SetApiError(...)`.
inline std::int32_t SetApiError(std::string_view message, char* error, std::uint32_t errorSize) {
    if (error != nullptr && errorSize > 0) {
        const std::size_t count = message.size() < errorSize ? message.size() : errorSize - 1;
        std::memcpy(error, message.data(), count);
        error[count] = '\0';
    }
    return 0;
}

} // namespace zorvi
