#pragma once
// A test that cannot have a component it needs (nginx, Debian's ffmpeg, the
// fetched Windows FFmpeg, the demo microphone): in CI (CI=true) that fails
// the test with the reason; elsewhere the test is skipped with it.
#include "tests/support/rtmp/linux_command.h"

#include <gtest/gtest.h>

#define QV_REQUIRE_COMPONENT(failure)          \
    do {                                       \
        const std::string qvWhy_ = (failure);  \
        if (!qvWhy_.empty()) {                 \
            if (RunningInCi()) FAIL() << qvWhy_; \
            GTEST_SKIP() << qvWhy_;            \
        }                                      \
    } while (0)
