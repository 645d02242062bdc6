#ifndef TAVORA_SERVER_EXEC_USER_FUNCTIONS_H_
#define TAVORA_SERVER_EXEC_USER_FUNCTIONS_H_

#include "server/exec/eval.h"

namespace server {

// Calls the scalar user-defined function owner.name(args): the arguments
// (DEFAULT takes the parameter's default) converted to the parameters'
// types, the body run one level deeper in the function's database, and
// its RETURN value converted to the declared type.
Status EvaluateUserFunction(const Expr& expr, const EvalScope& scope, Scalar& out);

// UPDATE(column) and COLUMNS_UPDATED(), which only a trigger's body can ask.
bool IsTriggerFunction(const Expr& expr);
Status EvaluateTriggerFunction(const Expr& expr, const EvalScope& scope, Scalar& out);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_USER_FUNCTIONS_H_
