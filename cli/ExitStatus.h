// The exit statuses of the rulescore tool.
#ifndef RULESCORE_CLI_EXITSTATUS_H_
#define RULESCORE_CLI_EXITSTATUS_H_

namespace rulescore {
namespace cli {

enum ExitStatus {
  kExitOk = 0,
  // The model cannot be loaded or translated, or (check) a record of its
  // own verification table gives another result than the table expects.
  kExitModel = 1,
  // Bad command line, or an input or output file that cannot be used.
  kExitUsage = 2,
  // Some input rows could not be scored (they are still in the output), or
  // the input has no usable header row.
  kExitInvalidRows = 3,
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_EXITSTATUS_H_
