// The copy progress window when its template cannot be found (this test program carries
// no dialog resources): opening gives null, and the updates still drain the thread's
// message queue, at most one refresh interval late, as the extraction relies on.
#include <gtest/gtest.h>

#include <windows.h>

#include "archive/progress_units.h"
#include "archive/progress_window.h"

namespace {

const UINT kProbe = WM_APP + 7;

bool ProbeQueued() {
  MSG message;
  return PeekMessageA(&message, nullptr, kProbe, kProbe, PM_NOREMOVE) != 0;
}

TEST(CopyProgressWindow, WithoutItsTemplateTheCopyRunsWithoutDisplayAndDrainsTheQueue) {
  // Make sure the thread has a queue, then leave a message in it.
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), kProbe, 0, 0));
  ASSERT_TRUE(ProbeQueued());

  EXPECT_FALSE(OpenCopyProgressWindow(5LL * 1024 * 1024 * 1024));  // a 5 GiB package

  StartCopyProgressFile("C:\\game\\data.bin", 300000);
  UpdateCopyProgress(131072, 4LL * 1024 * 1024 * 1024);
  EXPECT_FALSE(ProbeQueued());

  // Updates come after every block, but the queue is looked at once per refresh interval:
  // a message posted now is gone after the next update that follows the interval.
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), kProbe, 0, 0));
  Sleep(kRefreshIntervalMs + 20);
  UpdateCopyProgress(262144, 4LL * 1024 * 1024 * 1024 + 131072);
  EXPECT_FALSE(ProbeQueued());

  CloseCopyProgressWindow();
  CloseCopyProgressWindow();
  EXPECT_EQ(CopyProgressCancelled(), 0);
}

}  // namespace
