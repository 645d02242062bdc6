#ifndef TAVORA_SERVER_EXEC_EVAL_INTERNAL_H_
#define TAVORA_SERVER_EXEC_EVAL_INTERNAL_H_

#include <string>

#include "server/exec/eval.h"

namespace server {

// Pieces of the evaluator that live in their own files.

// args[0] op args[1] for + - * / % & | ^, NULL-propagating.
Status EvaluateArithmetic(const std::string& op, const Scalar& a, const Scalar& b, Scalar& out);
// Unary - + ~.
Status EvaluateNegate(const std::string& op, const Scalar& a, Scalar& out);
// Built-in scalar functions and aggregates.
Status EvaluateFunction(const Expr& expr, const EvalScope& scope, Scalar& out);
// @@SERVERNAME and the other global variables, and procedure parameters.
Status EvaluateVariable(const Expr& expr, const EvalScope& scope, Scalar& out);
bool IsAggregateName(const std::string& name);

// a op b for the comparison operators; unknown (empty) when either is NULL.
Status CompareWith(const std::string& op, const Scalar& a, const Scalar& b,
                   const Collation& collation, std::optional<bool>& out);

// A scalar subquery, EXISTS, IN (subquery), ANY and ALL.
Status EvaluateSubquery(const Expr& expr, const EvalScope& scope, Scalar& out);

// CASE ... END.
Status EvaluateCase(const Expr& expr, const EvalScope& scope, Scalar& out);
// Whether `operand`, whose value is `value`, is a NULL constant or variable
// that = and <> test for NULL under SET ANSI_NULLS OFF.
bool NonAnsiOperand(const Expr& operand, const Scalar& value, const EvalScope& scope);

// The type of higher precedence; within one type the larger size.
DataType HigherType(const DataType& a, const DataType& b);
// The one type of several results (CASE, COALESCE): the higher precedence,
// as long as the longer of two character or binary types, and a decimal
// with room for the whole digits and the scale of every exact operand.
DataType CommonType(const DataType& a, const DataType& b);
// An integer, money or exact type as the decimal that holds all its values
// (int is decimal(10,0), money decimal(19,4)); nothing for other types.
std::optional<DataType> AsExact(const DataType& type);
// A value of `in` converted to `type` as an operand is (implicitly).
Status Coerce(const Scalar& in, const DataType& type, Scalar& out);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_EVAL_INTERNAL_H_
