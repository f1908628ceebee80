// TEMPORARY: checks the harness runs the program; removed when real tests land.
#include <gtest/gtest.h>
#include "support/cgi_harness.h"
#include "support/test_env.h"
TEST(Skeleton, HarnessRunsProgram) {
  TempDir dir;
  CgiRequest request;
  request.workDir = dir.path();
  request.query = "a=1";
  CgiResponse response = runCgi(request);
  EXPECT_EQ(response.exitStatus, 0);
}
