#pragma once
// A test that cannot have a component it needs (nginx, Debian's ffmpeg, the
// fetched Windows FFmpeg, the demo microphone): in CI (CI=true) that fails
// the test with the reason; elsewhere the test is skipped with it.
// Our own failures (the daemon did not start or listen, a registration
// failed) are no missing component: a set-up returns them through
// OwnFailure, and they fail the test wherever it runs.
#include "tests/support/rtmp/linux_command.h"

#include <gtest/gtest.h>

#include <string>

const char kOwnFailureMark[] = "our own failure: ";
inline std::string OwnFailure(const std::string& why) { return kOwnFailureMark + why; }
inline bool IsOwnFailure(const std::string& why) { return why.rfind(kOwnFailureMark, 0) == 0; }

#define QV_REQUIRE_COMPONENT(failure)                           \
    do {                                                        \
        const std::string qvWhy_ = (failure);                   \
        if (!qvWhy_.empty()) {                                  \
            if (RunningInCi() || IsOwnFailure(qvWhy_)) FAIL() << qvWhy_; \
            GTEST_SKIP() << qvWhy_;                             \
        }                                                       \
    } while (0)
