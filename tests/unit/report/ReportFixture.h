// Whole block outputs compared with the expected texts kept in tests/data/report.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "runtime/Str.h"
#include "testing/Fixture.h"

inline void ExpectFixture(const std::wstring& actual, const std::string& name) {
  EXPECT_EQ(str::as_u8string(actual), testing::ReadFixture("report/" + name)) << name;
}
