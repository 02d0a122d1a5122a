#pragma once
// The error classes of the system. Errors are raised only by the compression wrapper, by
// file streams that cannot be opened, read or written, by corrupt stored data and by the
// mask maker; the application's handler reports them in a message box.
#include <stdexcept>
#include <string>

// Base of every error the system raises; the message is 8-bit text (code page 932).
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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
