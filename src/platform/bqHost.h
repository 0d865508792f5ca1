// Facts about the running process.
#pragma once
#include <string>

namespace bq {

// File name (without folder) of the executable of this process.
std::string HostExecutableName();
// Folder of the module that holds this code: the DLL inside a host, or the executable.
std::string ModuleFolder();
// The process's current directory.
std::string CurrentFolder();

}  // namespace bq
