#pragma once
// The error classes of the system. Errors are raised only by the compression wrapper, by
// file streams that cannot be opened, read or written, by corrupt stored data and by the
// mask maker; the application's handler reports them in a message box.
#include <stdexcept>
#include <string>

// Base of every error the system raises. The message is 8-bit text for developers and
// logs; what the user reads is composed from what failed and SystemError(), the system's
// own code behind the failure (a Win32 error code on Windows, errno elsewhere; 0: none),
// which is kept from the failing call on so that "disk full" and "access denied" stay
// apart.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message, unsigned long systemError = 0)
        : std::runtime_error(message), FSystemError(systemError) {}
    unsigned long SystemError() const { return FSystemError; }

private:
    unsigned long FSystemError;
};

// A file could not be opened or created (the message names the file).
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};
// A stream delivered fewer bytes than asked for, or could not take them.
class EReadError : public Exception {
public:
    using Exception::Exception;
};
class EWriteError : public Exception {
public:
    using Exception::Exception;
};
// Stored data that contradicts itself (a length past the end, a negative count).
class ECorruptData : public Exception {
public:
    using Exception::Exception;
};
