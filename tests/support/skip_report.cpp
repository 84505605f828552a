// Linked into every test program: when tests were skipped and nothing
// failed, the program's last line says so, and ctest
// (SKIP_REGULAR_EXPRESSION) lists it as skipped instead of passed. A program
// with any failure never prints it, so a skip cannot hide a failure.
#include <gtest/gtest.h>

#include <cstdio>

namespace {

class SkipReport : public ::testing::EmptyTestEventListener {
public:
    // After every test and every environment's tear-down.
    void OnTestProgramEnd(const ::testing::UnitTest& run) override {
        if (run.skipped_test_count() == 0 || run.failed_test_count() != 0 || run.ad_hoc_test_result().Failed())
            return;
        std::printf("QV-SKIPPED: %d of %d tests skipped\n", run.skipped_test_count(), run.test_to_run_count());
        std::fflush(stdout);
    }
};

const bool g_registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SkipReport);
    return true;
}();

}  // namespace
