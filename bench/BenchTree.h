// A random binary decision tree over continuous features, the benchmarks'
// model: walked directly over a flat node array (the limit any rule-set
// scorer can approach), turned into its equivalent rule set (one rule per
// leaf, the conjunction of the comparisons on its path) evaluated rule by
// rule over plain double arrays, and written as a PMML RuleSetModel
// document for the engine itself.
#ifndef RULESCORE_BENCH_BENCHTREE_H_
#define RULESCORE_BENCH_BENCHTREE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace rulescore {
namespace bench {

// The benchmarks' trees: features and seed of the depth-d tree
// BenchTree(d, kBenchFeatures, kBenchTreeSeed + d).
constexpr int kBenchFeatures = 10;
constexpr uint32_t kBenchTreeSeed = 20261207;

class BenchTree {
 public:
  static constexpr int kCategories = 4;

  // A complete tree of `depth` levels (2^depth leaves) over `features`
  // features whose records are uniform in [0, 1). Each split threshold lies
  // inside the range its path leaves open for the feature, so every leaf is
  // reached by some records. Fixed seed: the same tree on every run.
  BenchTree(int depth, int features, uint32_t seed);

  int GetFeatureCount() const { return features_; }
  int GetLeafCount() const { return static_cast<int>(leafOfRule_.size()); }

  // The category of the leaf a record reaches.
  int Walk(const double* x) const;

  // The same, rule by rule: the first rule whose comparisons all hold.
  // Returns the rule's position, -1 when none holds.
  int FirstRule(const double* x) const;
  int CategoryOfRule(int rule) const { return leafCategory_[static_cast<size_t>(rule)]; }

  // The rule set as a PMML document: one RuleSetModel with one rule per leaf
  // in left-to-right order, selection `criterion` ("firstHit",
  // "weightedSum" or "weightedMax"); fields x0..x{features-1}, target "y"
  // with categories c0..c3.
  std::string ToPmml(const std::string& criterion) const;

  // The tree as C++ source: a function `int name(const double* x)` of
  // nested if/else returning the leaf's category, as one would write the
  // tree by hand (thresholds written exactly).
  std::string ToIfElse(const std::string& name) const;

  // Uniform records, `count` rows of GetFeatureCount() values each.
  std::vector<double> Records(int count, uint32_t seed) const;

 private:
  struct Node {
    int32_t feature;  // -1 for a leaf
    double threshold;
    int32_t left;     // leaf: the category
    int32_t right;
  };
  // One comparison of a rule: x[feature] <= threshold, or > when !lessEqual.
  struct Test {
    int32_t feature;
    bool lessEqual;
    double threshold;
  };

  void WriteIfElse(int32_t node, int indent, std::string& out) const;

  int32_t Grow(int depth, std::vector<double>& low, std::vector<double>& high,
               std::vector<Test>& path, uint32_t& state);

  int features_;
  std::vector<Node> nodes_;
  std::vector<int32_t> leafOfRule_;
  std::vector<int32_t> leafCategory_;
  std::vector<double> leafWeight_;
  std::vector<int32_t> ruleBegin_;  // rule r: tests_[ruleBegin_[r] .. ruleBegin_[r+1])
  std::vector<Test> tests_;
};

}  // namespace bench
}  // namespace rulescore

#endif  // RULESCORE_BENCH_BENCHTREE_H_
