// Scratch files for tests: a fresh folder per test binary, files written from bytes or made
// by real tools.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace bqtest {

inline std::filesystem::path ScratchDir() {
  static const std::filesystem::path dir = [] {
    auto base = std::filesystem::temp_directory_path() / ("bqtest-" + std::to_string(::getpid()));
    std::filesystem::create_directories(base);
    return base;
  }();
  return dir;
}

inline std::string WriteFile(const std::string& name, const std::string& bytes) {
  const auto path = ScratchDir() / name;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

// Runs a shell command in the scratch folder; true when it exits 0.
inline bool Shell(const std::string& command) {
  const std::string full = "cd '" + ScratchDir().string() + "' && " + command + " >/dev/null 2>&1";
  return std::system(full.c_str()) == 0;
}

inline bool HaveTool(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace bqtest
