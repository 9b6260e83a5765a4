// The update archive that the program carries inside itself.
#pragma once

#include <string_view>

namespace zorvi {

class TEmbeddedArchive {
public:
    virtual ~TEmbeddedArchive() = default;
    /// The archive's exact bytes, valid as long as the program runs.
    virtual std::string_view Bytes() const = 0;
};

} // namespace zorvi
