#pragma once
// The two kinds of failure a verb reports itself, and the text of any error for the one line
// on standard error that reports it.
#include <exception>
#include <stdexcept>
#include <string>

namespace scrpack {

// A command line the verb cannot use: reported with a pointer to the verb's help.
class TUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Input that is there but unusable (not a bitmap, a character without cp932 form, ...).
class TInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The message of e as UTF-8: those of the store's errors are code page 932 on Windows (file
// names).
std::string ErrorText(const std::exception& e);

} // namespace scrpack
