// Expected outputs kept as files under tests/data, read from the source tree.
#pragma once
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace testing {

inline std::string ReadFixture(const std::string& relative) {
  const std::string path = std::string(DROMIKA_TEST_DATA) + "/" + relative;
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("no fixture file " + path);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace testing
