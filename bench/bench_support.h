// What the benchmark drivers share: medians, the peak memory of a process,
// a cheap generator for test data, and running the driver again in a
// process of its own so that each measurement starts clean.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ordx::bench {

double Median(std::vector<double> values);

// The peak resident size of this process in KiB. VmHWM belongs to the
// address space made at exec, unlike ru_maxrss, which also keeps the
// parent's high-water mark when the child was started with posix_spawn.
long OwnPeakRss();

// One xorshift64 step: the same data on every run, no library in the way.
std::uint64_t NextRandom(std::uint64_t* state);

// Runs `self` with `args` (after argv[0]), its standard output written to
// `report`, with `environment` (null: this process's), and waits. True when
// it ran and exited; its exit status is then in *exitStatus.
bool RunSelf(const std::string& self, const std::vector<std::string>& args,
             const std::string& report, char* const* environment, int* exitStatus);

}  // namespace ordx::bench
