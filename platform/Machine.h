// The seam between the report and the machine: every fact a block reads comes
// through one of these services. HostMachine() is the real machine; tests use
// platform::MemoryMachine.
#pragma once

namespace platform {

class FileSystem;
class Registry;
class Environment;
class Program;
class Drives;
class Network;

struct Machine {
  FileSystem* files = nullptr;
  Registry* registry = nullptr;
  Environment* environment = nullptr;
  Program* program = nullptr;
  Drives* drives = nullptr;
  Network* network = nullptr;
};

const Machine& HostMachine();

}  // namespace platform
