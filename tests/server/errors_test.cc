// The errors a script cannot cause: those of logging in. Every other error
// the server produces is caused on purpose in scripts/errors_*.test.

#include <gtest/gtest.h>

#include "server/engine.h"
#include "tests/server/server_test_util.h"

namespace server::testing {
namespace {

TEST(ServerErrors, LoginFailsWithTheWrongPassword) {
  ServerOptions options;
  options.sa_password = "secret";
  Engine engine(options);
  auto wrong = engine.Login("sa", "guess", false, "TAVORA");
  ASSERT_TRUE(std::holds_alternative<SqlError>(wrong));
  EXPECT_EQ(Describe(std::get<SqlError>(wrong)),
            "Msg 18456, Level 14, State 1, Line 1\nLogin failed for user 'sa'.");
  auto unknown = engine.Login("someone", "secret", false, "TAVORA");
  ASSERT_TRUE(std::holds_alternative<SqlError>(unknown));
  EXPECT_EQ(std::get<SqlError>(unknown).message, "Login failed for user 'someone'.");
  EXPECT_TRUE(std::holds_alternative<int>(engine.Login("SA", "secret", false, "TAVORA")));
  EXPECT_TRUE(std::holds_alternative<int>(engine.Login("", "", true, "TAVORA")));
}

}  // namespace
}  // namespace server::testing
