// An error in the effect source or its shader assembly, at a line of the file.
#pragma once

#include <stdexcept>
#include <string>

struct SourceError : std::runtime_error {
    SourceError(int line_, const std::string& message) : std::runtime_error(message), line(line_) {}
    int line;
};
