#ifndef TAVORA_SERVER_EXEC_FUNCTIONS_H_
#define TAVORA_SERVER_EXEC_FUNCTIONS_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "server/exec/eval_internal.h"

namespace server {

// The built-in scalar functions, one table per family; EvaluateFunction
// checks the argument count, evaluates the arguments and calls the handler.
// A handler gets every argument's value (NULLs keep their types) and gives
// a value of the function's result type, NULL when SQL Server gives NULL.
using FunctionArgs = std::vector<Scalar>;
using FunctionHandler = Status (*)(const FunctionArgs& args, const EvalScope& scope, Scalar& out);

struct FunctionRow {
  const char* name;  // upper case, as the table is searched
  size_t min_args;
  size_t max_args;
  FunctionHandler handler;
  // DATEADD and its kin: the first argument is a datepart word.
  bool datepart_first = false;
};

std::span<const FunctionRow> StringFunctions();
std::span<const FunctionRow> MathFunctions();
std::span<const FunctionRow> DateFunctions();
std::span<const FunctionRow> SystemFunctions();
std::span<const FunctionRow> MetadataFunctions();

// Arguments as the functions take them: implicit conversion to the wanted
// type, so that a value that does not convert fails as SQL Server's does
// (245, 8114, 241), and a type that never converts is 8116 for argument
// `position` of `function` (lower case, as messages name it).
Status TextArgument(const Scalar& arg, int position, const char* function, std::string& out);
Status IntegerArgument(const Scalar& arg, int position, const char* function, int64_t& out);
Status FloatArgument(const Scalar& arg, int position, const char* function, double& out);
Status DateArgument(const Scalar& arg, int position, const char* function, Scalar& out);
SqlError InvalidArgument(const DataType& type, int position, const char* function);

// Whether any argument is NULL (then most functions give NULL).
bool AnyNull(const FunctionArgs& args);

// The first `count` characters of UTF-8 text, and the characters from
// position `from` (counted from 0) on.
std::string_view FirstCharacters(std::string_view text, int64_t count);
std::string_view CharactersFrom(std::string_view text, int64_t from);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_FUNCTIONS_H_
