// The errors a script cannot cause: those of logging in, and of a batch
// that is not text. Every other error
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

TEST(ServerErrors, ABatchThatIsNotUtf8IsRefusedAtItsFirstLine) {
  Engine engine(ServerOptions{});
  auto login = engine.Login("sa", "", false, "TAVORA");
  ASSERT_TRUE(std::holds_alternative<int>(login));
  BatchOutcome outcome = engine.Execute(std::get<int>(login), "\xa4\x9f\x8f");
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(Describe(*outcome.error),
            "Msg 50000, Level 16, State 1, Line 1\nThe batch is not valid UTF-8 text.");
}

}  // namespace
}  // namespace server::testing
