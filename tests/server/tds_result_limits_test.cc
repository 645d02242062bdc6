// Results at the edges of what TDS 7.1 carries: the encoder refuses what
// the tokens cannot hold, and long values reach the client whole.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/tds/columns.h"
#include "tests/server/tds_test_client.h"

namespace server::tds::testing {
namespace {

TEST(TdsColumns, MetadataTheTokensCannotCarryIsRefused) {
  auto column = [](const char* name, const char* type) {
    return ColumnFor(name, type, kCollationCaseInsensitive);
  };
  const std::vector<std::vector<Column>> kUnsendable = {
      {column("v", "varchar(8001)")},
      {column("n", "nvarchar(4001)")},
      {column("b", "varbinary(65535)")},
      {column(std::string(256, 'x').c_str(), "int")},
      std::vector<Column>(0xFFFF, column("c", "int")),
  };
  for (const std::vector<Column>& columns : kUnsendable) {
    SCOPED_TRACE(columns.size() == 1 ? columns[0].name.substr(0, 8) : "65535 columns");
    Writer w;
    EXPECT_THROW(EncodeColMetadata(w, columns, Layout::kTds71), EncodeError);
  }
  Writer w;
  EXPECT_NO_THROW(EncodeColMetadata(
      w, {column("v", "varchar(8000)"), column("n", "nvarchar(4000)"), column("t", "text")},
      Layout::kTds71));
}

using TdsResultLimits = ListenerFixture;

TEST_F(TdsResultLimits, LongConstantsArriveWholeAndNocountDropsTheCount) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  std::string text(65535, 'a');
  std::vector<Token> reply = client.Batch("SELECT '" + text + "' AS v");
  ASSERT_TRUE(Only<ServerMessage>(reply).empty()) << Only<ServerMessage>(reply)[0].text;
  EXPECT_EQ(Only<ColMetadata>(reply).at(0).columns.at(0).type, kText);
  EXPECT_EQ(RowsText(reply), text + "\n");

  std::vector<Token> quiet = client.Batch("SET NOCOUNT ON SELECT 1");
  std::vector<Done> dones = Only<Done>(quiet);
  ASSERT_EQ(dones.size(), 2u);
  EXPECT_EQ(dones[1].status & kDoneCount, 0) << "no row count under NOCOUNT";
  EXPECT_EQ(RowsText(quiet), "1\n");
}

}  // namespace
}  // namespace server::tds::testing
