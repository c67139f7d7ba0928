#include "runtime/failure.h"

#include "runtime/errors.h"

#include <utility>

namespace runtime {

Failure::Failure(int number, std::string description)
    : m_number(number), m_description(std::move(description))
{}

Failure::Failure(int number) : Failure(number, errorDescription(number)) {}

} // namespace runtime
