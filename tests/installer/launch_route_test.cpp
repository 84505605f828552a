// Which account the daemon is started as at the end of a setup. Wine runs
// every program as one elevated account with a linked token and no shell,
// and cannot run anything as SYSTEM or elevate with another account's
// password, so the choice is tested on the facts as Windows would report
// them; installer_flow_test shows the route Wine takes.
#include <gtest/gtest.h>

#include "installer/setup_helper/launch_as_desktop_user.h"
#include "installer/setup_helper/stop_running.h"

namespace {

const char* Name(LaunchRoute route) {
    switch (route) {
    case LaunchRoute::ShellToken: return "shell";
    case LaunchRoute::LinkedToken: return "linked";
    case LaunchRoute::SessionUserToken: return "session user";
    case LaunchRoute::NoRoute: return "none";
    case LaunchRoute::Failed: return "failed";
    }
    return "?";
}

TEST(LaunchRoute, StartsOnlyAsTheDesktopsUser) {
    const struct {
        const char* what;
        DesktopFacts facts;
        LaunchRoute route;
    } cases[] = {
        {"elevated from the desktop's user, shell running", {true, false, false, true, true}, LaunchRoute::ShellToken},
        {"elevated from the desktop's user, no shell", {false, false, false, true, true}, LaunchRoute::LinkedToken},
        {"over the shoulder: the linked token is the administrator's", {false, false, false, true, false},
         LaunchRoute::NoRoute},
        {"over the shoulder with a shell: the shell is the desktop user's", {true, false, false, true, false},
         LaunchRoute::ShellToken},
        {"UAC off: no unelevated token at all", {false, false, false, false, false}, LaunchRoute::NoRoute},
        {"SYSTEM with a user logged on", {false, true, true, false, false}, LaunchRoute::SessionUserToken},
        {"SYSTEM with no one logged on", {false, true, false, false, false}, LaunchRoute::NoRoute},
    };
    for (const auto& c : cases) EXPECT_STREQ(Name(c.route), Name(ChooseRoute(c.facts))) << c.what;
}

// The copy that asks in the user's session reports back in its exit code.
TEST(LaunchRoute, AskingInTheUsersSessionReportsThroughTheExitCode) {
    const struct {
        int asked, exited;
    } cases[] = {{0, 0}, {1, 0}, {1, 1}, {3, 2}, {255, 255}};
    for (const auto& c : cases) {
        StopReport sent;
        sent.daemonsAsked = c.asked;
        sent.daemonsExited = c.exited;
        StopReport received;
        FromAskedExitCode(AskedExitCode(sent), received);
        EXPECT_EQ(c.asked, received.daemonsAsked);
        EXPECT_EQ(c.exited, received.daemonsExited);
    }
    EXPECT_EQ(0u, AskedExitCode(StopReport())) << "nothing asked must read as a clean exit";
}

}  // namespace
