#pragma once

#include <stdexcept>
#include <string>

namespace kestrova {

// A number text that does not convert. The message is shown to the operator as it stands.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be written (or, for oversized input, read). The message names the path.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace kestrova
