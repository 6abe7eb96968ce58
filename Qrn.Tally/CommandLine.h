#pragma once
#include <string>
#include <vector>

#include "runtime/CmdLine.h"

// The parsed command line of DromikaCmd.
struct CommandLine {
  std::wstring pipeName;    // /pipename:NAME
  std::wstring outputPath;  // /out:FILE
  bool serverFlag = false;  // the bare word RunServer
  bool helpFlag = false;    // "/?", "-h" or "--help": the usage line, whatever else was given

  // Takes the words and options in order; a name given twice keeps its last
  // value. Raises qtl::status_exception for a word other than "RunServer",
  // "-h" and "--help" or an option other than "pipename", "out" and "?"
  // (exact, case-sensitive).
  void Assign(const std::vector<std::wstring>& positional, const sys::env::NamedArguments& named);
};
