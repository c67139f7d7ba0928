#pragma once

#include "runtime/errors.h"
#include "runtime/failure.h"

#include <string>
#include <utility>

namespace testsupport {

/// The number of the runtime::Failure that `call` throws, or 0 when it throws none.
template <typename Call> int failureNumber(Call&& call)
{
    try {
        call();
    } catch (const runtime::Failure& failure) {
        return failure.number();
    }
    return 0;
}

/// The number and description of the runtime::Failure that `call` throws, or (0, "").
template <typename Call> std::pair<int, std::string> failureOf(Call&& call)
{
    try {
        call();
    } catch (const runtime::Failure& failure) {
        return {failure.number(), failure.description()};
    }
    return {0, ""};
}

/// A failure with a number from the shared table and that number's description.
inline std::pair<int, std::string> tableFailure(int number)
{
    return {number, runtime::errorDescription(number)};
}

} // namespace testsupport
