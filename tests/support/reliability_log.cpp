#include "reliability_log.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

namespace {

std::string clean(std::string text)
{
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
        else if (c == ';') // the report is made by a CMake script, where ';' separates list items
            c = ',';
    }
    return text;
}

} // namespace

void recordCase(const std::string& group, const std::string& what, const std::string& outcome,
                const std::string& test, int runs, int filesLost)
{
    const char* folder = std::getenv("ORVALIS_RELIABILITY_DIR");
    if (folder == nullptr || *folder == '\0')
        return;
    const std::string line = clean(group) + '\t' + clean(what) + '\t' + clean(outcome) + '\t' + clean(test) +
                             '\t' + std::to_string(runs) + '\t' + std::to_string(filesLost) + '\n';
    // Appending one short line in one write, so tests running side by side do not mix lines.
    std::FILE* out = std::fopen((std::string(folder) + "/records.tsv").c_str(), "ab");
    if (out == nullptr)
        return;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fclose(out);
}

void recordChecked(const std::string& group, const std::string& what, const std::string& outcome, int runs)
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const bool failed = test->result()->Failed();
    recordCase(group, what, failed ? "CHECK FAILED" : outcome,
               std::string(test->test_suite_name()) + "." + test->name(), runs, failed ? 1 : 0);
}

} // namespace testsupport
