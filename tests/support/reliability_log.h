#pragma once

#include <string>

namespace testsupport {

/// Records one checked case for the reliability report: which group it belongs to, what
/// was tried, what came of it, the test that checks it, how many runs it took and how
/// many files were lost in them. The report (docs/reliability.md) is built from these
/// records after a test run, so it can only say what the tests saw.
void recordCase(const std::string& group, const std::string& what, const std::string& outcome,
                const std::string& test, int runs, int filesLost = 0);

/// Records a case checked by the running test: its outcome, or "CHECK FAILED" with one file
/// lost when the test has failed so far.
void recordChecked(const std::string& group, const std::string& what, const std::string& outcome,
                   int runs = 1);

} // namespace testsupport
