// Runs a scenario file: PMML documents, each followed by rows that score a
// record under native or pmml semantics (or both) and state what comes out,
// or that state how the document is refused. The format, line by line:
//
//   # a comment (blank lines are skipped too)
//   case <title>                 a new document follows
//   let $NAME <text>             $NAME in the document reads <text> from here on
//   doc                          the document, up to a line "end"; when it does
//     ...                        not start with "<?xml" or "<PMML" it is three
//   end                          parts split by lines "---": DataFields,
//                                MiningFields, the RuleSet; a target y with the
//                                categories yes and no is added unless the
//                                fields declare a y of their own
//   file <path>                  the document is the file <path> under the
//                                source directory
//   <sem> <cells> -> <expected>  <sem> is native, pmml or both; cells are
//                                name=value (quoted "..." with \xHH escapes for
//                                spaces and odd bytes; an empty unquoted value
//                                is a missing cell); an unquoted number for a
//                                numeric field is set as a number, anything
//                                else as text
//   refused <sem> -> <code> | <arg> | ...   the translation throws this code
//                                with exactly these arguments
//   message <sem> -> <text>      the refusal's message, line breaks written \n
//                                (no translation that fails may trace a
//                                normal exit)
//   says <sem> -> <text>         the refusal's message after its first line
//   where <sem> -> line <n> | field <name> | rule <id or #k>  where the
//                                refusal is ("-" for what it does not name)
//   categories <sem> -> <a>,<b>   the target's categories in order
//   rule<k> <sem> -> <record>    rule k (from 1) of the first rule set as read:
//                                identifier, label, score, counts, confidence,
//                                weight, target, flags, splits, distribution
//   splits<k> <sem> -> <splits>  only its split variables, as they display
//   compiled <sem> -> <dump>     the compiled rules (see Compiled() for the form)
//   value <field> <sem> <cells> -> <value> | <scored record>  the derived
//                                field's value after scoring the cells:
//                                "missing", a number, "invalid" or a quoted
//                                text; then the parts of a scored record
//   costs <sem> -> <table> / <matrix>  the cost table read, "<row>: <column>=
//                                <cost> ...; ...", and the matrix built,
//                                "<row>; <row>" ("-" for either when empty)
//   model <sem> -> <model> / <rule set> / ...  what the model read: "rules"
//                                or "list", the target's type and [categories],
//                                codes [..], numeric index [value:i, ..], the
//                                translator's target name/variable, costs
//                                [matrix], " derived" with a transformation
//                                dictionary; per rule set "<target> <-
//                                <predictors>; methods [..] use <m>; default
//                                <score>#<index> <confidence>; records <n>
//                                correct <n>; rules <n>" ("no model" for none)
//
// A scored record reads "<head> | <winning rule> | <fired rules> | <error
// text>", head being "<prediction or null>[ <confidence>]" (a prediction that
// is a number written "#<number>") or "error <code>",
// "-" for no winning rule, none fired or no error text; a row states the first parts it
// checks, at least the head. One result object serves all rows of a
// document and semantics, so a row also checks that the previous one left
// nothing behind.
#ifndef RULESCORE_TESTS_SUPPORT_SCENARIO_H_
#define RULESCORE_TESTS_SUPPORT_SCENARIO_H_

#include <string>

namespace KtZembra_940 {
namespace testing_support {

// Runs every case of the file at `path`; each mismatch is a test failure
// naming the file's line.
void RunScenarioFile(const std::string& path);

}  // namespace testing_support
}  // namespace KtZembra_940

#endif  // RULESCORE_TESTS_SUPPORT_SCENARIO_H_
