#pragma once
// Runs a program the way the benchmarks compare ours with a peer: output
// thrown away, and its wall time, processor time and peak resident size
// measured from outside.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace bench_child {

struct TChildRun {
  double wall = 0;       // seconds
  double cpu = 0;        // user and system seconds
  double peakBytes = 0;  // resident
};

// Throws when the program cannot start or fails.
inline TChildRun RunChild(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  const int started = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) throw std::runtime_error("cannot start " + argv[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  TChildRun run;
  run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto seconds = [](const timeval& v) { return double(v.tv_sec) + double(v.tv_usec) * 1e-6; };
  run.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  run.peakBytes = double(usage.ru_maxrss) * 1024.0;  // kilobytes on Linux
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(argv[0] + " failed");
  return run;
}

}  // namespace bench_child
