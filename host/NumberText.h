// The one way text becomes a number, and a double an integer.
//
// Rule for every attribute and cell: leading and trailing XML white space
// (space, tab, CR, LF) and one leading '+' are accepted; the whole remaining
// text must be a decimal number (std::from_chars general format); a result
// out of the double range, and the texts NaN and INF in any spelling, are
// refused: a number here is always finite.
#ifndef RULESCORE_HOST_NUMBERTEXT_H_
#define RULESCORE_HOST_NUMBERTEXT_H_

#include <string>
#include <string_view>

#include "host/HostExport.h"

namespace KtZembra_940 {
namespace NumberText {

// True and the number when the text is a finite number by the rule above.
RULESCORE_HOST_API bool ParseDouble(std::string_view text, double* out);
// True and the integer when the text is a decimal integer within 32 bits.
RULESCORE_HOST_API bool ParseInt(std::string_view text, int* out);
// Truncation toward zero, saturated to the 32-bit range; NaN gives 0.
RULESCORE_HOST_API int SaturateToInt(double value);
// Shortest text that reads back to the same double (std::to_chars, shortest
// round trip) into `buffer`; returns a view of it. `size` must be >= 32.
RULESCORE_HOST_API std::string_view FormatShortest(double value, char* buffer, int size);

}  // namespace NumberText
}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_NUMBERTEXT_H_
