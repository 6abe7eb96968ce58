// Whole block outputs compared with the expected texts kept in tests/data/report.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "runtime/Str.h"
#include "testing/Fixture.h"

inline void ExpectFixture(const std::string& actualUtf8, const std::string& name) {
  EXPECT_EQ(actualUtf8, testing::ReadFixture("report/" + name)) << name;
}

inline void ExpectFixture(const std::wstring& actual, const std::string& name) {
  ExpectFixture(str::as_u8string(actual), name);
}
