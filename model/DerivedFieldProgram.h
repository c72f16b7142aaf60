// The derived fields of a model compiled into one flat program: each field's
// expression is a run of stack instructions over the record's cells, the
// constants and tables it names, and the fields computed before it. The
// fields run in dependency order once per record, before the rules are
// fired, and leave one value each, which the scoring reads like a cell.
//
// The translator builds the program (AddInput, AddConstant, ..., Emit per
// field, then Finish); the model owns it. Evaluate keeps its working values
// in the program, so one program serves one model on one thread. Numeric
// expressions allocate nothing per record; text values reuse their buffers.
// A field whose every step works on numbers (arithmetic, comparisons, and,
// or, not, NormContinuous over numeric fields and constants) also gets a
// second form of its code over plain doubles, NaN standing for a missing
// or invalid value (both end as missing in such a field), with a constant
// operand of + - * / fused into its step; Evaluate runs that form.
#ifndef RULESCORE_MODEL_DERIVEDFIELDPROGRAM_H_
#define RULESCORE_MODEL_DERIVEDFIELDPROGRAM_H_

#include <cstdint>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "host/ScoreCaseRecord.h"

namespace KtZembra_940 {

class ScoreDictVar;

class DerivedFieldProgram {
 public:
  // A working value. An invalid value is the result of a function outside
  // its domain (a division by zero, text that is no number, no matching
  // bin or row): a defaultValue replaces it, and a field whose value stays
  // invalid reads as missing.
  enum Kind : uint8_t { kMissing = 0, kNumber, kText, kInvalid };
  struct Value {
    Kind kind = kMissing;
    double number = 0.0;
    std::string text;
  };

  // The built-in functions of Apply.
  enum Function : uint8_t {
    kAdd, kSubtract, kMultiply, kDivide, kMin, kMax, kSum, kAvg, kProduct,
    kLog10, kLn, kSqrt, kAbs, kExp, kPow, kThreshold, kFloor, kCeil, kRound,
    kEqual, kNotEqual, kLessThan, kLessOrEqual, kGreaterThan, kGreaterOrEqual,
    kAnd, kOr, kNot, kIsIn, kIsNotIn, kIf, kIsMissing, kIsNotMissing,
    kUppercase, kLowercase, kSubstring, kTrimBlanks, kConcat, kReplace, kMatches,
    kFormatNumber,
  };

  enum Op : uint8_t {
    kPushConstant,   // a: constant
    kLoadInput,      // a: input (a cell of the record)
    kLoadDerived,    // a: field computed earlier
    kLoadTemp,       // a: temporary (a parameter of a defined function)
    kStoreTemp,      // a: temporary; pops
    kMapMissing,     // a: constant that replaces a missing value
    kMapInvalid,     // a: constant that replaces an invalid value
    kCall,           // function, count arguments; a: regex or format, if any
    kNormContinuous, // a: piecewise-linear table
    kNormDiscrete,   // a: constant compared with
    kDiscretize,     // a: bin table
    kMapValues,      // a: row table, count inputs
  };

  struct Instruction {
    Op op;
    Function function;
    int32_t a;
    int32_t count;
  };

  // What NormContinuous does outside its first and last points.
  enum Outliers : uint8_t { kAsIs, kAsMissingValues, kAsExtremeValues };
  struct NormTable {
    std::vector<double> orig;  // strictly increasing, at least two
    std::vector<double> norm;
    Outliers outliers = kAsIs;
  };
  struct Bin {
    double low;
    double high;
    bool lowClosed;
    bool highClosed;
    int32_t value;  // constant
  };
  struct RowTable {
    size_t columns = 0;               // inputs per row
    std::vector<std::string> cells;   // rows x columns, row by row
    std::vector<int32_t> outputs;     // one constant per row
  };

  // Longest text that matches and replace search; a longer one is invalid.
  static constexpr size_t kMaxRegexInput = 4096;

  DerivedFieldProgram();
  ~DerivedFieldProgram();
  DerivedFieldProgram(const DerivedFieldProgram&) = delete;
  DerivedFieldProgram& operator=(const DerivedFieldProgram&) = delete;

  // --- building --------------------------------------------------------------
  // The function of a PMML name; false for a name that is no built-in.
  static bool FunctionOf(const std::string& name, Function* function);
  // Whether a built-in accepts that many arguments.
  static bool AcceptsArguments(Function function, size_t count);
  static const char* FunctionName(Function function);

  // A cell read from the record: the data field `var` (not owned; it must
  // outlive the program). The same field gives the same input.
  int32_t AddInput(const ScoreDictVar* var);
  int32_t AddConstant(Value value);
  int32_t AddNormTable(NormTable table);
  int32_t AddBins(std::vector<Bin> bins);
  int32_t AddRowTable(RowTable table);
  // False when the library refuses the pattern (ECMAScript grammar).
  bool AddRegex(const std::string& pattern, int32_t* index);
  // A printf-like pattern with one conversion (d i o x X e E f g G) and an
  // optional flags, width and precision of at most two digits each; false
  // for any other.
  bool AddFormat(const std::string& pattern, int32_t* index);
  int32_t AddTemp();

  // A new derived field whose value converts to `dataType` (a
  // ScoreDictVar::DataType; -1 keeps a number or a text as computed); `var` is its variable (not owned) and `text`
  // its expression as shown. Its code follows with Emit; a field reads
  // fields declared before or after it through Depend and kLoadDerived.
  int32_t AddField(const std::string& name, const ScoreDictVar* var, int dataType,
                   const std::string& text);
  // A field without code whose value the caller gives (SetValue) before each
  // Evaluate: a value computed elsewhere that expressions read by name.
  // `var` (not owned, may be null) is the variable it stands for.
  int32_t AddGivenField(const std::string& name, const ScoreDictVar* var, int dataType);
  void Emit(int32_t field, Instruction instruction);
  void SetFieldText(int32_t field, const std::string& text);
  void Depend(int32_t field, int32_t on);
  // The field of a variable; -1 when the variable is no derived field here.
  int32_t FieldOf(const ScoreDictVar* var) const;
  int32_t FieldOf(const std::string& name) const;
  int32_t GetFieldCount() const { return static_cast<int32_t>(fields.size()); }
  bool IsGivenField(int32_t field) const { return fields[static_cast<size_t>(field)].given; }
  const ScoreDictVar* GetFieldVar(int32_t field) const {
    return fields[static_cast<size_t>(field)].var;
  }
  size_t GetInputCount() const { return inputs.size(); }
  // Whether some field reads the data field `var`.
  bool ReadsInput(const ScoreDictVar* var) const;
  size_t GetInstructionCount() const;

  // Orders the fields so that each runs after those it reads and lays the
  // code out flat. False when fields depend on each other in a circle;
  // `cycle` then names them, "a -> b -> a".
  bool Finish(std::string* cycle);

  // Whether a field runs on doubles (known after Finish).
  bool IsNumericField(int32_t field) const { return fields[static_cast<size_t>(field)].numeric; }

  // --- scoring ---------------------------------------------------------------
  // Binds the inputs to their positions in the record layout (each input
  // variable's case index, set before the call) and evaluates from then on
  // only the fields in `used` (field numbers) and those they read.
  void Bind(const std::vector<int32_t>& used);
  // The value of a given field for the next Evaluate.
  void SetValue(int32_t field, const Value& value) { outputs[static_cast<size_t>(field)] = value; }
  // Has Evaluate also write the value of numeric field `field` into
  // encoded[index], `missing` for a missing value: the rules' value table.
  // After Bind, which clears these.
  void SetEncodedSlot(int32_t field, int32_t index, double missing);
  // Computes every used field from the record's cells; `encoded` is the
  // table of SetEncodedSlot (may be null when none was set).
  void Evaluate(const ScoreCaseRecord::Slots& slots, double* encoded = nullptr);
  // A field's value after Evaluate: missing, a number or a text.
  const Value& GetOutput(int32_t field) const { return outputs[static_cast<size_t>(field)]; }

  // "derived field NAME (TYPE): EXPRESSION" per field, in dependency order.
  void Display(std::ostream& os) const;

 private:
  struct Field {
    std::string name;
    const ScoreDictVar* var = nullptr;
    int dataType = 0;
    std::string text;
    std::vector<Instruction> code;  // while building
    std::vector<int32_t> depends;
    size_t begin = 0;  // in `code` once finished
    size_t end = 0;
    size_t depth = 0;  // stack entries the field needs
    bool used = true;
    bool given = false;  // no code: its value is set from outside
    bool numeric = false;  // runs numCode[numBegin, numEnd)
    size_t numBegin = 0;
    size_t numEnd = 0;
    int32_t encodedAt = -1;  // entry of Evaluate's table, -1 none
    double encodedMissing = 0.0;
  };
  // The steps of the double form.
  enum NumOp : uint8_t {
    kNumInput,     // a: input
    kNumConstant,  // c
    kNumDerived,   // a: field computed earlier
    kNumCall,      // function, count
    kNumNorm,      // a: piecewise-linear table
    kNumAddC,      // top + c
    kNumSubC,      // top - c
    kNumMulC,      // top * c
    kNumDivC,      // top / c
  };
  struct NumInstruction {
    NumOp op;
    Function function;
    int32_t a;
    int32_t count;
    double c;
  };
  struct Format {
    std::string pattern;
    bool integer = false;
  };

  // A field Evaluate computes, with what it needs of it at hand.
  struct RunEntry {
    int32_t field;
    bool numeric;
    bool chain;   // RunChain applies
    bool scaled;  // RunScaled applies: the chain is x * c1 + c2 or x * c1 - c2
    uint8_t dataType;
    int32_t encodedAt;
    uint32_t numBegin;
    uint32_t numEnd;
    double encodedMissing;
    // A scaled chain: its input, the input's cell when it is a plain
    // numeric field (else -1), and x * scale + shift with two roundings, as
    // the stack form computes it (x - c2 is x + -c2 in every case, signed
    // zeros included).
    int32_t input;
    int32_t inputAt;
    double scale;
    double shift;
  };

  void Run(const Field& field, const ScoreCaseRecord::Slots& slots);
  // The double form of a field's code, when it has one.
  bool CompileNumeric(Field* field);
  double RunNumeric(size_t begin, size_t end, const ScoreCaseRecord::Slots& slots);
  // An input read by a kNumInput step: NaN when missing or invalid.
  double ReadNumberInput(int32_t input, const ScoreCaseRecord::Slots& slots);
  // The record's cell of a plain numeric input (no declared missing
  // values), else -1.
  int32_t PlainCell(int32_t input) const;
  // Input `input` read from `cell` when that holds a number, else by the
  // general path.
  double ReadNumberAt(int32_t cell, int32_t input, const ScoreCaseRecord::Slots& slots);
  // A field whose double form is an input followed by constant operations
  // only ((x - a) / b and the like): computed without the stack.
  double RunChain(size_t begin, size_t end, const ScoreCaseRecord::Slots& slots);
  // A scaled chain's value, its cell read in place.
  double RunScaled(const RunEntry& entry, const ScoreCaseRecord::Slots& slots);
  // An input as a number by the general path (NaN: missing or invalid).
  double LoadNumber(int32_t input, const ScoreCaseRecord::Slots& slots);
  static double CallNumeric(Function function, const double* args, size_t count);
  double Normalize(int32_t table, double x) const;
  void LoadInput(int32_t input, const ScoreCaseRecord::Slots& slots, Value* out) const;
  void Call(const Instruction& instruction, Value* args);
  void Store(const Field& field, const Value& value, Value* out) const;

  std::vector<Field> fields;
  std::vector<int32_t> order;  // field numbers in evaluation order
  std::vector<Instruction> code;
  std::vector<const ScoreDictVar*> inputs;
  std::vector<int32_t> inputPositions;
  std::vector<uint8_t> inputPlain;  // numeric field without declared missing values
  std::vector<NumInstruction> numCode;
  // The fields Evaluate computes, in evaluation order (set by Bind and
  // SetEncodedSlot).
  std::vector<RunEntry> runList;
  std::vector<Value> constants;
  std::vector<NormTable> normTables;
  std::vector<std::vector<Bin>> binTables;
  std::vector<RowTable> rowTables;
  std::vector<std::unique_ptr<std::regex>> regexes;
  std::vector<Format> formats;
  int32_t tempCount = 0;

  // Working state of Evaluate.
  std::vector<Value> stack;
  std::vector<Value> temps;
  std::vector<Value> outputs;
  std::vector<double> numStack;
  std::vector<double> numArgs;  // the arguments of a numeric call, as numbers
  Value loaded;  // scratch of LoadNumber
  std::string scratch;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_MODEL_DERIVEDFIELDPROGRAM_H_
