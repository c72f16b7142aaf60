// Writes the benchmarks' depth-6 and depth-10 trees as nested if/else C++
// (IfElseTree6 and IfElseTree10), the hand-written baseline that
// rulescore_bench compiles in and measures in the same run.
//
//   rulescore_bench_ifelse OUTPUT.cc
#include <cstdio>
#include <fstream>
#include <string>

#include "bench/BenchTree.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.cc\n", argv[0]);
    return 2;
  }
  using rulescore::bench::BenchTree;
  std::string out =
      "// Written by rulescore_bench_ifelse from the benchmarks' trees.\n"
      "#include \"bench/IfElseTrees.h\"\n\n"
      "namespace rulescore {\nnamespace bench {\n\n";
  for (int depth : {6, 10}) {
    const BenchTree tree(depth, rulescore::bench::kBenchFeatures,
                         rulescore::bench::kBenchTreeSeed + static_cast<uint32_t>(depth));
    out += tree.ToIfElse("IfElseTree" + std::to_string(depth)) + "\n";
  }
  out += "}  // namespace bench\n}  // namespace rulescore\n";
  std::ofstream file(argv[1]);
  file << out;
  return file ? 0 : 1;
}
