// The address build's leak check as the black-box tests run it (their
// suppressions, a private Xvfb, a Qt window on xcb): a window of Qt's and the
// libraries under it leave nothing it reports, and a leak of our own still
// fails the run.
#include <gtest/gtest.h>

#include "tests/support/process.h"
#include "tests/support/xvfb_server.h"

TEST(LeakDetection, AWindowPassesAndALeakOfOurOwnFailsTheRun) {
  test_support::XvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start());
  xvfb.ExportDisplay();
  const test_support::CommandResult clean = test_support::RunCommand({LEAKING_WINDOW}, 120000);
  EXPECT_EQ(clean.exitCode, 0) << clean.err;
  const test_support::CommandResult leaking = test_support::RunCommand({LEAKING_WINDOW, "--leak"}, 120000);
  EXPECT_FALSE(leaking.timedOut);
  EXPECT_NE(leaking.exitCode, 0);
  EXPECT_NE(leaking.err.find("LeakSanitizer"), std::string::npos) << leaking.err;
  EXPECT_NE(leaking.err.find("LoseAnAllocationOnPurpose"), std::string::npos) << leaking.err;
}
