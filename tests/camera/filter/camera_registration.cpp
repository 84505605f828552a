// Every test program of the pin registers the camera in the test prefix
// before its tests and removes it afterwards, as an installer would.
#include <gtest/gtest.h>

#include "tests/camera/filter/camera_graph.h"

namespace {

class CameraRegistration : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ("", RegisterCamera(true)); }
    void TearDown() override { EXPECT_EQ("", RegisterCamera(false)); }
};

const auto* const g_registration = ::testing::AddGlobalTestEnvironment(new CameraRegistration);

}  // namespace
