// The benchmarks' depth-6 and depth-10 trees written out as nested if/else
// (generated at build time by bench/tools/WriteIfElseTrees.cc): each returns
// the category of the leaf the record `x` (kBenchFeatures values) reaches.
#ifndef RULESCORE_BENCH_IFELSETREES_H_
#define RULESCORE_BENCH_IFELSETREES_H_

namespace rulescore {
namespace bench {

int IfElseTree6(const double* x);
int IfElseTree10(const double* x);

}  // namespace bench
}  // namespace rulescore

#endif  // RULESCORE_BENCH_IFELSETREES_H_
