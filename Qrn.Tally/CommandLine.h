#pragma once
#include <string>
#include <vector>

#include "runtime/CmdLine.h"

// The parsed command line of DromikaCmd.
struct CommandLine {
  std::wstring pipeName;    // /pipename:NAME
  std::wstring outputPath;  // /out:FILE
  bool serverFlag = false;  // the bare word RunServer

  // Takes the words and options in order; a name given twice keeps its last
  // value. Raises qtl::status_exception for a word other than "RunServer" or
  // an option other than "pipename" and "out" (exact, case-sensitive).
  void Assign(const std::vector<std::wstring>& positional, const sys::env::NamedArguments& named);
};
