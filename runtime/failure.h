#pragma once

#include <exception>
#include <string>

namespace runtime {

/// The one exception a service throws when it fails. It carries the number and the
/// description the user sees in a failure message, e.g. 53 "File not found".
class Failure : public std::exception {
public:
    Failure(int number, std::string description);

    /// A failure with a number from the shared table and that number's description.
    explicit Failure(int number);

    int number() const noexcept { return m_number; }
    const std::string& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_description.c_str(); }

private:
    int m_number;
    std::string m_description;
};

} // namespace runtime
