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
class Management;
class Monitors;
class Locale;
class SystemInfo;

struct Machine {
  FileSystem* files = nullptr;
  Registry* registry = nullptr;
  Environment* environment = nullptr;
  Program* program = nullptr;
  Drives* drives = nullptr;
  Network* network = nullptr;
  Management* management = nullptr;
  Monitors* monitors = nullptr;
  Locale* locale = nullptr;
  SystemInfo* system = nullptr;
};

const Machine& HostMachine();

}  // namespace platform
