#include "bench/BenchTree.h"

#include <cmath>
#include <cstdio>

namespace rulescore {
namespace bench {

namespace {

// xorshift32: cheap, and the same numbers on every platform.
uint32_t Next(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

double Unit(uint32_t& state) { return (Next(state) >> 8) * (1.0 / 16777216.0); }

// Thresholds and weights with few digits, so that the document's texts read
// back as exactly the doubles the baselines compare with.
double Rounded(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  double back = 0.0;
  std::sscanf(text, "%lf", &back);
  return back;
}

}  // namespace

BenchTree::BenchTree(int depth, int features, uint32_t seed) : features_(features) {
  uint32_t state = seed == 0 ? 1u : seed;
  std::vector<double> low(static_cast<size_t>(features), 0.0);
  std::vector<double> high(static_cast<size_t>(features), 1.0);
  std::vector<Test> path;
  ruleBegin_.push_back(0);
  Grow(depth, low, high, path, state);
}

int32_t BenchTree::Grow(int depth, std::vector<double>& low, std::vector<double>& high,
                        std::vector<Test>& path, uint32_t& state) {
  const int32_t id = static_cast<int32_t>(nodes_.size());
  nodes_.push_back(Node{-1, 0.0, 0, 0});
  if (depth == 0) {
    const int32_t category = static_cast<int32_t>(Next(state) % kCategories);
    nodes_[static_cast<size_t>(id)].left = category;
    leafOfRule_.push_back(id);
    leafCategory_.push_back(category);
    leafWeight_.push_back(Rounded(0.1 + 0.9 * Unit(state)));
    tests_.insert(tests_.end(), path.begin(), path.end());
    ruleBegin_.push_back(static_cast<int32_t>(tests_.size()));
    return id;
  }
  const int32_t f = static_cast<int32_t>(Next(state) % static_cast<uint32_t>(features_));
  const size_t fi = static_cast<size_t>(f);
  const double lo = low[fi];
  const double hi = high[fi];
  const double t = Rounded(lo + (hi - lo) * (0.25 + 0.5 * Unit(state)));
  nodes_[static_cast<size_t>(id)].feature = f;
  nodes_[static_cast<size_t>(id)].threshold = t;

  high[fi] = t;
  path.push_back(Test{f, true, t});
  const int32_t left = Grow(depth - 1, low, high, path, state);
  path.back().lessEqual = false;
  high[fi] = hi;
  low[fi] = t;
  const int32_t right = Grow(depth - 1, low, high, path, state);
  path.pop_back();
  low[fi] = lo;

  nodes_[static_cast<size_t>(id)].left = left;
  nodes_[static_cast<size_t>(id)].right = right;
  return id;
}

int BenchTree::Walk(const double* x) const {
  const Node* nodes = nodes_.data();
  int32_t n = 0;
  while (nodes[n].feature >= 0) {
    n = x[nodes[n].feature] <= nodes[n].threshold ? nodes[n].left : nodes[n].right;
  }
  return nodes[n].left;
}

int BenchTree::FirstRule(const double* x) const {
  const int rules = GetLeafCount();
  const Test* tests = tests_.data();
  for (int r = 0; r < rules; ++r) {
    bool holds = true;
    for (int32_t k = ruleBegin_[static_cast<size_t>(r)]; k < ruleBegin_[static_cast<size_t>(r) + 1];
         ++k) {
      const Test& t = tests[k];
      const double v = x[t.feature];
      if (t.lessEqual ? !(v <= t.threshold) : !(v > t.threshold)) {
        holds = false;
        break;
      }
    }
    if (holds) return r;
  }
  return -1;
}

std::string BenchTree::ToPmml(const std::string& criterion) const {
  std::string out;
  out.reserve(tests_.size() * 90 + leafOfRule_.size() * 160 + 4096);
  char line[256];
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<PMML version=\"4.4\" xmlns=\"http://www.dmg.org/PMML-4_4\">\n";
  std::snprintf(line, sizeof line, "  <DataDictionary numberOfFields=\"%d\">\n", features_ + 1);
  out += line;
  out += "    <DataField name=\"y\" optype=\"categorical\" dataType=\"string\">\n";
  for (int c = 0; c < kCategories; ++c) {
    std::snprintf(line, sizeof line, "      <Value value=\"c%d\"/>\n", c);
    out += line;
  }
  out += "    </DataField>\n";
  for (int f = 0; f < features_; ++f) {
    std::snprintf(line, sizeof line,
                  "    <DataField name=\"x%d\" optype=\"continuous\" dataType=\"double\"/>\n", f);
    out += line;
  }
  out += "  </DataDictionary>\n"
         "  <RuleSetModel modelName=\"tree\" functionName=\"classification\">\n"
         "    <MiningSchema>\n"
         "      <MiningField name=\"y\" usageType=\"predicted\"/>\n";
  for (int f = 0; f < features_; ++f) {
    std::snprintf(line, sizeof line, "      <MiningField name=\"x%d\"/>\n", f);
    out += line;
  }
  out += "    </MiningSchema>\n"
         "    <RuleSet defaultScore=\"c0\" defaultConfidence=\"0\">\n";
  out += "      <RuleSelectionMethod criterion=\"" + criterion + "\"/>\n";
  for (int r = 0; r < GetLeafCount(); ++r) {
    const size_t ri = static_cast<size_t>(r);
    std::snprintf(line, sizeof line,
                  "      <SimpleRule id=\"L%d\" score=\"c%d\" confidence=\"%.6f\" weight=\"%.6f\">\n",
                  r, leafCategory_[ri], leafWeight_[ri], leafWeight_[ri]);
    out += line;
    const int32_t begin = ruleBegin_[ri];
    const int32_t end = ruleBegin_[ri + 1];
    const bool compound = end - begin != 1;
    if (compound) out += "        <CompoundPredicate booleanOperator=\"and\">\n";
    if (begin == end) out += "          <True/>\n";
    for (int32_t k = begin; k < end; ++k) {
      const Test& t = tests_[static_cast<size_t>(k)];
      std::snprintf(line, sizeof line,
                    "          <SimplePredicate field=\"x%d\" operator=\"%s\" value=\"%.6f\"/>\n",
                    t.feature, t.lessEqual ? "lessOrEqual" : "greaterThan", t.threshold);
      out += line;
    }
    if (compound) out += "        </CompoundPredicate>\n";
    out += "      </SimpleRule>\n";
  }
  out += "    </RuleSet>\n  </RuleSetModel>\n</PMML>\n";
  return out;
}

std::string BenchTree::ToIfElse(const std::string& name) const {
  std::string out = "int " + name + "(const double* x) {\n";
  WriteIfElse(0, 1, out);
  out += "}\n";
  return out;
}

void BenchTree::WriteIfElse(int32_t node, int indent, std::string& out) const {
  const Node& n = nodes_[static_cast<size_t>(node)];
  const std::string pad(static_cast<size_t>(2 * indent), ' ');
  char line[96];
  if (n.feature < 0) {
    std::snprintf(line, sizeof line, "return %d;\n", n.left);
    out += pad + line;
    return;
  }
  // %a: the threshold's exact double.
  std::snprintf(line, sizeof line, "if (x[%d] <= %a) {\n", n.feature, n.threshold);
  out += pad + line;
  WriteIfElse(n.left, indent + 1, out);
  out += pad + "} else {\n";
  WriteIfElse(n.right, indent + 1, out);
  out += pad + "}\n";
}

std::vector<double> BenchTree::Records(int count, uint32_t seed) const {
  uint32_t state = seed == 0 ? 1u : seed;
  std::vector<double> rows(static_cast<size_t>(count) * static_cast<size_t>(features_));
  // Six decimals, as the CSV for the tool writes them, so that both see the
  // same values. A unit value has 24 bits, so v * 1e6 is exact and rounding
  // it half to even is what "%.6f" does; k / 1e6 is then the double nearest
  // the six-decimal text, as reading it back gives (Rounded, only faster:
  // the benchmarks draw millions of records).
  for (double& v : rows) v = std::nearbyint(Unit(state) * 1e6) / 1e6;
  return rows;
}

}  // namespace bench
}  // namespace rulescore
