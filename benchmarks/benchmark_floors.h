#ifndef BENCHMARKS_BENCHMARK_FLOORS_H_
#define BENCHMARKS_BENCHMARK_FLOORS_H_

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

namespace benchmark_support {

// The floor of a controller frame: the one write of a 528-byte report that
// every frame needs, to the kind of descriptor the null devices use.
inline void BareWrite528(benchmark::State& state) {
  const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  char report[528] = {};
  for (auto _ : state) {
    benchmark::DoNotOptimize(write(fd, report, sizeof(report)));
  }
  close(fd);
}

}  // namespace benchmark_support

#endif  // BENCHMARKS_BENCHMARK_FLOORS_H_
