#pragma once

#include "runtime/failure.h"

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

} // namespace testsupport
