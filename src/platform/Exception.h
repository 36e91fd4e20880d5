// Failures travel as exceptions carrying the message text the user sees.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    const std::string Message() const { return what(); }
};

// Raised by the picture readers.
class EInvalidGraphic : public Exception {
    using Exception::Exception;
};
// Raised by the compression decoders.
class ECompressionError : public Exception {
    using Exception::Exception;
};
// Raised by the colour manager.
class EColorConversionError : public Exception {
    using Exception::Exception;
};
// A text that is not a valid number or a value that cannot take the asked type.
class EConvertError : public Exception {
    using Exception::Exception;
};
// Any stream failure; EReadError for reading past the end.
class EStreamError : public Exception {
    using Exception::Exception;
};
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
    using EStreamError::EStreamError;
};
// A file that cannot be opened or created; the message names the file.
class EFOpenError : public EStreamError {
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
    using EStreamError::EStreamError;
};
// An allocation the machine cannot satisfy.
class EOutOfMemory : public Exception {
public:
    explicit EOutOfMemory(std::size_t requestedBytes);
    using Exception::Exception;
};

// printf-style formatting for message texts with %s, %d and friends.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
