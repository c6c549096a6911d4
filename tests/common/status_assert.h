// Status checks for GoogleTest that show the failure's message when an
// operation that should have worked did not.
#pragma once

#include <gtest/gtest.h>

#include "common/status.h"

// EXPECT_TRUE(IsOk(op())) fails with op's message rather than a bare "false".
inline ::testing::AssertionResult IsOk(const common::Status& s) {
  if (s.ok()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "failed: " << s.ToString();
}
