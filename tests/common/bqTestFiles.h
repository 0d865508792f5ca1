// Scratch files for tests: a fresh folder per test binary, files written from bytes or made
// by real tools.
#pragma once
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

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

#ifndef _WIN32
struct TRun {
  int Status = -1;  // the exit status; -1 when the command did not exit by itself
  std::string Out, Err;
};

// Runs a shell command and collects its exit status and both outputs.
inline TRun Run(const std::string& command) {
  const std::string errFile = (ScratchDir() / "stderr.txt").string();
  const std::string cmd = command + " 2>" + errFile;
  TRun run;
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return run;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) run.Out.append(buf.data(), n);
  const int status = pclose(p);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::FILE* e = std::fopen(errFile.c_str(), "r");
  while (e && (n = std::fread(buf.data(), 1, buf.size(), e)) > 0) run.Err.append(buf.data(), n);
  if (e) std::fclose(e);
  return run;
}
#endif

inline bool HaveTool(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace bqtest
