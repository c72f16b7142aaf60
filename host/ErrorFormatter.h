// The host's message table: one text per ZbException code, with the
// placeholders %1, %2, ... for the arguments.
#ifndef RULESCORE_HOST_ERRORFORMATTER_H_
#define RULESCORE_HOST_ERRORFORMATTER_H_

#include <string>
#include <vector>

#include "host/HostExport.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API ErrorFormatter {
 public:
  ErrorFormatter();
  // The text of a code with its arguments put in place; a code without a
  // text gives "error CODE" followed by the arguments. Control characters
  // and bytes that are no UTF-8 in the arguments are escaped, so input
  // echoed back is safe to print.
  std::string Format(int code, const std::vector<std::string>& args) const;
  // The raw text of a code, empty when the code has none.
  std::string GetTemplate(int code) const;
};

// The host's formatter. It holds no state; every ZbException is built on it.
RULESCORE_HOST_API extern const ErrorFormatter gErrorFormater;

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_ERRORFORMATTER_H_
