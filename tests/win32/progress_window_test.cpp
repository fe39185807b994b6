// The copy progress window when its template cannot be found (this test program carries
// no dialog resources): opening gives null, and every later call still drains the
// thread's message queue, as the extraction relies on.
#include <gtest/gtest.h>

#include <windows.h>

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

  HWND window = OpenCopyProgressWindow(5LL * 1024 * 1024 * 1024);  // a 5 GiB package
  EXPECT_EQ(window, nullptr);

  StartCopyProgressFile(window, "C:\\game\\data.bin", 300000);
  UpdateCopyProgress(window, 131072, 4LL * 1024 * 1024 * 1024);
  EXPECT_FALSE(ProbeQueued());

  CloseCopyProgressWindow();
  CloseCopyProgressWindow();
  EXPECT_EQ(CopyProgressCancelled(), 0);
}

}  // namespace
