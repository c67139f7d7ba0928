#include "runtime/errors.h"
#include "runtime/failure.h"

#include <gtest/gtest.h>

using runtime::Failure;

TEST(Errors, NumbersCarryTheDescriptionsSupportStaffKnow)
{
    const std::pair<int, const char*> table[] = {
        {7, "Out of memory"},
        {53, "File not found"},
        {58, "File already exists"},
        {61, "Disk full"},
        {70, "Permission denied"},
        {71, "Disk not ready"},
        {75, "Path/File access error"},
        {76, "Path not found"},
        {12345, "Path/File access error"},
    };
    for (const auto& [number, description] : table) {
        const Failure failure(number);
        EXPECT_EQ(failure.number(), number);
        EXPECT_EQ(failure.description(), description) << number;
    }
    EXPECT_EQ(Failure(70, "In use by the updater").description(), "In use by the updater");
}
