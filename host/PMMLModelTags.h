// The PMML element, attribute and value names the engine reads, as XML text.
// Names in the extension elements (algorithmName, isScorable, the cost
// elements, the rule Extension names and values) are this engine's own.
#ifndef RULESCORE_HOST_PMMLMODELTAGS_H_
#define RULESCORE_HOST_PMMLMODELTAGS_H_

#include <xercesc/util/XercesDefs.hpp>

namespace KtZembra_940 {

// Elements.
inline constexpr XMLCh XML_ELE_PMML[] = u"PMML";
inline constexpr XMLCh XML_ELE_DATADICTIONARY[] = u"DataDictionary";
inline constexpr XMLCh XML_ELE_DATAFIELD[] = u"DataField";
inline constexpr XMLCh XML_ELE_VALUE[] = u"Value";
inline constexpr XMLCh XML_ELE_INTERVAL[] = u"Interval";
inline constexpr XMLCh XML_ELE_TRANSFORMATION[] = u"TransformationDictionary";
inline constexpr XMLCh XML_ELE_DERIVEDFIELD[] = u"DerivedField";
inline constexpr XMLCh XML_ELE_LOCALTRANSFORMATIONS[] = u"LocalTransformations";
inline constexpr XMLCh XML_ELE_DEFINEFUNCTION[] = u"DefineFunction";
inline constexpr XMLCh XML_ELE_PARAMETERFIELD[] = u"ParameterField";
inline constexpr XMLCh XML_ELE_CONSTANT[] = u"Constant";
inline constexpr XMLCh XML_ELE_FIELDREF[] = u"FieldRef";
inline constexpr XMLCh XML_ELE_NORMCONTINUOUS[] = u"NormContinuous";
inline constexpr XMLCh XML_ELE_LINEARNORM[] = u"LinearNorm";
inline constexpr XMLCh XML_ELE_NORMDISCRETE[] = u"NormDiscrete";
inline constexpr XMLCh XML_ELE_DISCRETIZE[] = u"Discretize";
inline constexpr XMLCh XML_ELE_DISCRETIZEBIN[] = u"DiscretizeBin";
inline constexpr XMLCh XML_ELE_MAPVALUES[] = u"MapValues";
inline constexpr XMLCh XML_ELE_FIELDCOLUMNPAIR[] = u"FieldColumnPair";
inline constexpr XMLCh XML_ELE_INLINETABLE[] = u"InlineTable";
inline constexpr XMLCh XML_ELE_ROW[] = u"row";
inline constexpr XMLCh XML_ELE_APPLY[] = u"Apply";
inline constexpr XMLCh XML_ELE_RULESETMODEL[] = u"RuleSetModel";
inline constexpr XMLCh XML_ELE_MININGSCHEMA[] = u"MiningSchema";
inline constexpr XMLCh XML_ELE_MININGFIELD[] = u"MiningField";
inline constexpr XMLCh XML_ELE_RULESET[] = u"RuleSet";
inline constexpr XMLCh XML_ELE_RULESET_RULESELECMETHOD[] = u"RuleSelectionMethod";
inline constexpr XMLCh XML_ELE_RULESET_RULE[] = u"SimpleRule";
inline constexpr XMLCh XML_ELE_RULESET_RULE_SIMPLE[] = u"SimpleRule";
inline constexpr XMLCh XML_ELE_RULESET_RULE_COMP[] = u"CompoundRule";
inline constexpr XMLCh XML_ELE_PREDICATE[] = u"SimplePredicate";
inline constexpr XMLCh XML_ELE_COMPOUNDPREDICATE[] = u"CompoundPredicate";
inline constexpr XMLCh XML_ELE_SETPREDICATE[] = u"SimpleSetPredicate";
inline constexpr XMLCh XML_ELE_TRUE[] = u"True";
inline constexpr XMLCh XML_ELE_FALSE[] = u"False";
inline constexpr XMLCh XML_ELE_ARRAY[] = u"Array";
inline constexpr XMLCh XML_ELE_SCOREDISTRIBUTION[] = u"ScoreDistribution";
inline constexpr XMLCh XML_ELE_EXTENSION[] = u"Extension";
inline constexpr XMLCh XML_ELE_MISCLASSIFICATIONCOST[] = u"MisclassificationCost";
inline constexpr XMLCh XML_ELE_MISCLASSIFICATIONCOST_OLD[] = u"MisClassificationCost";

// Attributes.
inline constexpr XMLCh XML_ATT_NAME[] = u"name";
inline constexpr XMLCh XML_ATT_OPTYPE[] = u"optype";
inline constexpr XMLCh XML_ATT_DATATYPE[] = u"dataType";
inline constexpr XMLCh XML_ATT_PROPERTY[] = u"property";
inline constexpr XMLCh XML_ATT_CLOSURE[] = u"closure";
inline constexpr XMLCh XML_ATT_LEFTMARGIN[] = u"leftMargin";
inline constexpr XMLCh XML_ATT_RIGHTMARGIN[] = u"rightMargin";
inline constexpr XMLCh XML_ATT_N[] = u"n";
inline constexpr XMLCh XML_ATT_VERSION[] = u"version";
inline constexpr XMLCh XML_ATT_MODELALGO[] = u"algorithmName";
inline constexpr XMLCh XML_ATT_RM_IS_SCORABLE[] = u"isScorable";
inline constexpr XMLCh XML_ATT_MININGFIELD_NAME[] = u"name";
inline constexpr XMLCh XML_ATT_MININGFIELD_USAGETYPE[] = u"usageType";
inline constexpr XMLCh XML_ATT_RULESET_RECOUNT[] = u"recordCount";
inline constexpr XMLCh XML_ATT_RULESET_NBCORRECT[] = u"nbCorrect";
inline constexpr XMLCh XML_ATT_RULESET_DEFAULTSCORE[] = u"defaultScore";
inline constexpr XMLCh XML_ATT_RULESET_DEFAULTCONF[] = u"defaultConfidence";
inline constexpr XMLCh XML_ATT_RULESET_RULESELECMETHOD[] = u"criterion";
inline constexpr XMLCh XML_ATT_SIMPLERULE_ID[] = u"id";
inline constexpr XMLCh XML_ATT_SCORE[] = u"score";
inline constexpr XMLCh XML_ATT_RECORDCOUNT[] = u"recordCount";
inline constexpr XMLCh XML_ATT_SIMPLERULE_CONF[] = u"confidence";
inline constexpr XMLCh XML_ATT_SIMPLERULE_WEIGHT[] = u"weight";
inline constexpr XMLCh XML_ATT_FIELD[] = u"field";
inline constexpr XMLCh XML_ATT_OPERATOR[] = u"operator";
inline constexpr XMLCh XML_ATT_VALUE[] = u"value";
inline constexpr XMLCh XML_ATT_BOOLEANOPERATOR[] = u"booleanOperator";
inline constexpr XMLCh XML_ATT_TYPE[] = u"type";
inline constexpr XMLCh XML_ATT_FUNCTION[] = u"function";
inline constexpr XMLCh XML_ATT_MAPMISSINGTO[] = u"mapMissingTo";
inline constexpr XMLCh XML_ATT_DEFAULTVALUE[] = u"defaultValue";
inline constexpr XMLCh XML_ATT_OUTLIERS[] = u"outliers";
inline constexpr XMLCh XML_ATT_ORIG[] = u"orig";
inline constexpr XMLCh XML_ATT_NORM[] = u"norm";
inline constexpr XMLCh XML_ATT_BINVALUE[] = u"binValue";
inline constexpr XMLCh XML_ATT_OUTPUTCOLUMN[] = u"outputColumn";
inline constexpr XMLCh XML_ATT_COLUMN[] = u"column";
inline constexpr XMLCh XML_ATT_MISSING[] = u"missing";
inline constexpr XMLCh XML_ATT_COST_TYPE[] = u"type";
inline constexpr XMLCh XML_ATT_EXT_NAME[] = u"name";
inline constexpr XMLCh XML_ATT_EXT_VALUE[] = u"value";

// Attribute values.
inline constexpr XMLCh XML_ATT_DL_ALGNAME[] = u"DecisionList";
inline constexpr XMLCh XML_ATT_MF_FUT_ACTIVE[] = u"active";
inline constexpr XMLCh XML_ATT_MF_FUT_PREDICTED[] = u"predicted";
inline constexpr XMLCh XML_ATT_MF_FUT_TARGET[] = u"target";
inline constexpr XMLCh XML_ATT_EXT_NAME_VALUE_LABEL[] = u"label";
inline constexpr XMLCh XML_ATT_EXT_NAME_VALUE_DISABLED[] = u"disabled";
inline constexpr XMLCh XML_ATT_EXT_NAME_VALUE_DIRECTION[] = u"direction";
inline constexpr XMLCh XML_ATT_EXT_VALUE_VALUE_TRUE[] = u"true";
inline constexpr XMLCh XML_ATT_EXT_VALUE_VALUE_DIRECTION_UP[] = u"up";
inline constexpr XMLCh XML_ATT_EXT_VALUE_VALUE_DIRECTION_DOWN[] = u"down";
inline constexpr XMLCh XML_VAL_RULECRITERION_FIRSTHIT[] = u"firstHit";
inline constexpr XMLCh XML_VAL_RULECRITERION_WSUM[] = u"weightedSum";
inline constexpr XMLCh XML_VAL_RULECRITERION_WMAX[] = u"weightedMax";
inline constexpr XMLCh XML_VAL_OPERATOR_EQUAL[] = u"equal";
inline constexpr XMLCh XML_VAL_OPERATOR_NOTEQUAL[] = u"notEqual";
inline constexpr XMLCh XML_VAL_OPERATOR_LESSTHAN[] = u"lessThan";
inline constexpr XMLCh XML_VAL_OPERATOR_LESSOREQUAL[] = u"lessOrEqual";
inline constexpr XMLCh XML_VAL_OPERATOR_GREATERTHAN[] = u"greaterThan";
inline constexpr XMLCh XML_VAL_OPERATOR_GREATEROREQUAL[] = u"greaterOrEqual";
inline constexpr XMLCh XML_VAL_OPERATOR_ISMISSING[] = u"isMissing";
inline constexpr XMLCh XML_VAL_OPERATOR_ISNOTMISSING[] = u"isNotMissing";
inline constexpr XMLCh XML_VAL_OPERATOR_ISIN[] = u"isIn";
inline constexpr XMLCh XML_VAL_OPERATOR_ISNOTIN[] = u"isNotIn";
inline constexpr XMLCh XML_VAL_AND[] = u"and";
inline constexpr XMLCh XML_VAL_OR[] = u"or";
inline constexpr XMLCh XML_VAL_XOR[] = u"xor";
inline constexpr XMLCh XML_VAL_SURROGATE[] = u"surrogate";
inline constexpr XMLCh XML_VAL_CATEGORICAL[] = u"categorical";
inline constexpr XMLCh XML_VAL_ORDINAL[] = u"ordinal";
inline constexpr XMLCh XML_VAL_CONTINUOUS[] = u"continuous";
inline constexpr XMLCh XML_VAL_STRING[] = u"string";
inline constexpr XMLCh XML_VAL_INTEGER[] = u"integer";
inline constexpr XMLCh XML_VAL_FLOAT[] = u"float";
inline constexpr XMLCh XML_VAL_DOUBLE[] = u"double";
inline constexpr XMLCh XML_VAL_BOOLEAN[] = u"boolean";
inline constexpr XMLCh XML_VAL_VALID[] = u"valid";
inline constexpr XMLCh XML_VAL_MISSING[] = u"missing";
inline constexpr XMLCh XML_VAL_INVALID[] = u"invalid";
inline constexpr XMLCh XML_VAL_CLOSED_CLOSED[] = u"closedClosed";
inline constexpr XMLCh XML_VAL_CLOSED_OPEN[] = u"closedOpen";
inline constexpr XMLCh XML_VAL_OPEN_CLOSED[] = u"openClosed";
inline constexpr XMLCh XML_VAL_OPEN_OPEN[] = u"openOpen";
inline constexpr XMLCh XML_VAL_AS_IS[] = u"asIs";
inline constexpr XMLCh XML_VAL_AS_MISSING_VALUES[] = u"asMissingValues";
inline constexpr XMLCh XML_VAL_AS_EXTREME_VALUES[] = u"asExtremeValues";

// MiningField treatments of invalid, missing and outlying values, and the
// model's function.
inline constexpr XMLCh XML_ATT_MF_INVALIDTREATMENT[] = u"invalidValueTreatment";
inline constexpr XMLCh XML_ATT_MF_INVALIDREPLACEMENT[] = u"invalidValueReplacement";
inline constexpr XMLCh XML_ATT_MF_MISSINGREPLACEMENT[] = u"missingValueReplacement";
inline constexpr XMLCh XML_ATT_MF_OUTLIERS[] = u"outliers";
inline constexpr XMLCh XML_ATT_MF_LOWVALUE[] = u"lowValue";
inline constexpr XMLCh XML_ATT_MF_HIGHVALUE[] = u"highValue";
inline constexpr XMLCh XML_VAL_RETURNINVALID[] = u"returnInvalid";
inline constexpr XMLCh XML_VAL_ASIS[] = u"asIs";
inline constexpr XMLCh XML_VAL_ASMISSING[] = u"asMissing";
inline constexpr XMLCh XML_VAL_ASVALUE[] = u"asValue";
inline constexpr XMLCh XML_VAL_ASMISSINGVALUES[] = u"asMissingValues";
inline constexpr XMLCh XML_VAL_ASEXTREMEVALUES[] = u"asExtremeValues";
inline constexpr XMLCh XML_ATT_FUNCTIONNAME[] = u"functionName";
inline constexpr XMLCh XML_VAL_REGRESSION[] = u"regression";

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_PMMLMODELTAGS_H_
