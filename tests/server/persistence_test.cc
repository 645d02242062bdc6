// The catalog saved as text and read back, and the data folder that keeps it
// on disk.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "server/data_folder.h"
#include "server/engine.h"
#include "tests/golden_files.h"
#include "tests/scratch_folder.h"
#include "tests/server/golden_replay.h"
#include "tests/server/server_test_util.h"

namespace server::testing {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tavora-server-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ignored;  // a failed clean-up must not fail the test
    fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return (fs::path(path_) / name).string(); }

 private:
  std::string path_;
};

using tavora::testing::ReadFile;
using tavora::testing::WriteFile;

std::unique_ptr<Engine> LoadOrFail(const std::string& text, ServerOptions options = {}) {
  auto loaded = Engine::Load(text, options);
  if (auto* message = std::get_if<std::string>(&loaded)) {
    ADD_FAILURE() << *message;
    return nullptr;
  }
  return std::move(std::get<std::unique_ptr<Engine>>(loaded));
}

std::string LoadError(const std::string& text, ServerOptions options = {}) {
  auto loaded = Engine::Load(text, options);
  const std::string* message = std::get_if<std::string>(&loaded);
  return message ? *message : "loaded";
}

TEST(ServerPersistence, RoundTripKeepsTheWholeCatalog) {
  Engine engine(ServerOptions{});
  for (const char* test : tavora::testing::kGoldenTests) {
    ASSERT_EQ(Describe(ReplayCreate(engine, test).error), "ok") << test;
  }
  std::string saved = engine.Save();
  std::unique_ptr<Engine> loaded = LoadOrFail(saved);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->Save(), saved);
  {
    Client client(*loaded);
    EXPECT_EQ(ResultText(client.Query("USE tavora_StandardDataset\nSELECT fldDecimal, fldComputed, "
                                      "fldImage FROM tblGeneric")),
              "fldDecimal|fldComputed|fldImage\n32|17|0x633A5C782E6A7067");
  }
  // The loaded server goes on where the saved one stopped.
  EXPECT_EQ(Describe(ReplayDelete(*loaded, "Standard").error), "ok");
  EXPECT_EQ(Describe(ReplayDelete(*loaded, "Replication.Transactional").error), "ok");
  EXPECT_EQ(Describe(ReplayCreate(*loaded, "Replication.Transactional").error), "ok");
}

// The identity's current value is state of its own: after the highest row is
// deleted, the next row still takes the value after it.
TEST(ServerPersistence, IdentityGoesOnWhereTheSavedServerStopped) {
  Engine engine(ServerOptions{});
  {
    Client client(engine);
    ASSERT_EQ(Describe(client.Execute(
                  "CREATE DATABASE ids\nGO\nUSE ids\nCREATE TABLE t (id INT IDENTITY(10, 5), v "
                  "INT)\nINSERT INTO t (v) VALUES (1)\nINSERT INTO t (v) VALUES (2)\nINSERT INTO "
                  "t (v) VALUES (3)\nDELETE FROM t WHERE v = 3")),
              "ok");
  }
  std::unique_ptr<Engine> loaded = LoadOrFail(engine.Save());
  ASSERT_TRUE(loaded);
  Client client(*loaded);
  ASSERT_EQ(Describe(client.Execute("USE ids\nINSERT INTO t (v) VALUES (4)")), "ok");
  EXPECT_EQ(ResultText(client.Query("SELECT id, v FROM t ORDER BY id")), "id|v\n10|1\n15|2\n25|4");
}

TEST(ServerPersistence, CorruptTextIsAClearError) {
  Engine engine(ServerOptions{});
  Client client(engine);
  ASSERT_EQ(
      Describe(client.Execute("CREATE DATABASE shop\nGO\nUSE shop\nGO\nCREATE TABLE t (a INT)\nGO\n"
                              "INSERT INTO t VALUES (1)")),
      "ok");
  const std::string good = engine.Save();
  auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
  };
  struct Case {
    const char* name;
    std::string text;
    const char* message;
  };
  const Case kCases[] = {
      {"not JSON", "{\"format\": ", "not a valid server state: "},
      {"empty", "", "not a valid server state: "},
      {"another format", "{\"format\":\"other\"}",
       "not a server state (no \"format\": \"tavora-server-state\")"},
      {"a later version", replaced("\"version\":1", "\"version\":9"),
       "a server state of version 9, which this server cannot read"},
      {"unknown data type", replaced("\"type\":\"int\"", "\"type\":\"integer64\""),
       "not a valid server state: unknown data type 'integer64'"},
      {"row of the wrong width", replaced("[{\"int\":1}]", "[{\"int\":1},null]"),
       "not a valid server state: a row of table 't' has the wrong width"},
      {"missing field", replaced("\"nullable\":", "\"nullabel\":"), "not a valid server state: "},
      {"field of the wrong kind", replaced("\"nullable\":true", "\"nullable\":\"yes\""),
       "not a valid server state: "},
      {"odd binary", replaced("[{\"int\":1}]", "[{\"binary\":\"ABC\"}]"),
       "not a valid server state: binary value with an odd number of digits"},
      {"no master", replaced("\"name\":\"master\"", "\"name\":\"elsewhere\""),
       "not a valid server state: the system database 'master' is missing"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string message = LoadError(c.text);
    EXPECT_EQ(message.substr(0, std::string(c.message).size()), c.message) << message;
  }
}

TEST(ServerPersistence, NamesMustStayDistinctUnderTheCollation) {
  ServerOptions sensitive;
  sensitive.case_sensitive = true;
  Engine engine(sensitive);
  Client client(engine);
  ASSERT_EQ(Describe(client.Execute("CREATE DATABASE shop\nGO\nCREATE DATABASE SHOP")), "ok");
  std::string saved = engine.Save();
  EXPECT_EQ(LoadError(saved, sensitive), "loaded");
  EXPECT_EQ(LoadError(saved, ServerOptions{}),
            "not a valid server state: two databases named 'SHOP' under the server collation");
}

TEST(ServerDataFolder, KeepsTheServerBetweenProcesses) {
  TempFolder folder;
  {
    auto opened = DataFolder::Open(folder.path(), ServerOptions{});
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<DataFolder>>(opened))
        << std::get<std::string>(opened);
    DataFolder& data = *std::get<std::unique_ptr<DataFolder>>(opened);
    int session = std::get<int>(data.engine().Login("sa", "", false, "TAVORA"));
    EXPECT_FALSE(data.Execute(session, "CREATE DATABASE kept").error);
    EXPECT_FALSE(data.Execute(session,
                              "USE kept\nCREATE TABLE t (id int IDENTITY PRIMARY KEY, v "
                              "varchar(10))")
                     .error);
    // A batch of rows alone still moves the identity the catalog keeps.
    EXPECT_FALSE(data.Execute(session,
                              "INSERT t (v) VALUES ('a')\nINSERT t (v) VALUES "
                              "('b')\nDELETE t WHERE v = 'b'")
                     .error);
  }
  auto reopened = DataFolder::Open(folder.path(), ServerOptions{});
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<DataFolder>>(reopened))
      << std::get<std::string>(reopened);
  Engine& engine = std::get<std::unique_ptr<DataFolder>>(reopened)->engine();
  Client client(engine);
  EXPECT_EQ(ResultText(client.Query("SELECT name FROM sysdatabases WHERE name = 'kept'")),
            "name\nkept");
  // Rows and the identity's place come back with the catalog.
  EXPECT_FALSE(client.Run("USE kept\nINSERT t (v) VALUES ('c')").error);
  EXPECT_EQ(ResultText(client.Query("SELECT id, v FROM t")), "id|v\n1|a\n3|c");
}

TEST(ServerDataFolder, AnOldStateFileIsImportedOnceAndKept) {
  TempFolder folder;
  Engine old(ServerOptions{});
  Client writer(old);
  ASSERT_EQ(Describe(writer.Execute("CREATE DATABASE shop\nGO\nUSE shop\nCREATE TABLE p (k int "
                                    "PRIMARY KEY, price money)\nINSERT p VALUES (1, 2.5)")),
            "ok");
  std::string text = old.Save();
  std::string legacy = folder.File("server-state.json");
  WriteFile(legacy, text);
  for (int round = 0; round < 2; ++round) {
    auto opened = DataFolder::Open(folder.path(), ServerOptions{});
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<DataFolder>>(opened))
        << std::get<std::string>(opened);
    Client client(std::get<std::unique_ptr<DataFolder>>(opened)->engine());
    EXPECT_EQ(ResultText(client.Query("SELECT k, price FROM shop..p WHERE k = 1")),
              "k|price\n1|2.5000");
  }
  EXPECT_FALSE(fs::exists(legacy));
  EXPECT_EQ(ReadFile(legacy + ".imported"), text);
}

TEST(ServerDataFolder, CorruptStateIsReportedAndLeftAlone) {
  TempFolder folder;
  std::string file = folder.File("server-state.json");
  WriteFile(file, "{\"format\":\"tavora-server-state\",\"version\":1,");
  auto opened = DataFolder::Open(folder.path(), ServerOptions{});
  ASSERT_TRUE(std::holds_alternative<std::string>(opened));
  const std::string& message = std::get<std::string>(opened);
  std::string head =
      "The server state '" + file + "' could not be imported: it is not a valid server state: ";
  EXPECT_EQ(message.substr(0, head.size()), head);
  EXPECT_NE(message.find("; it was left as it is. Move it away to start a fresh server."),
            std::string::npos);
  EXPECT_EQ(ReadFile(file), "{\"format\":\"tavora-server-state\",\"version\":1,");
  // No half-made store stays behind to hide the old state next time.
  EXPECT_FALSE(fs::exists(folder.File("tavora.db")));
}

// Whatever sits where the server keeps a file, and is not a regular file,
// is refused by name and left exactly as it was.
TEST(ServerDataFolder, OddEntriesAreRefusedAndLeftAsTheyAre) {
  struct Case {
    const char* entry;
    const char* kind;
    std::function<void(const std::string& path, const std::string& target)> make;
  };
  const Case cases[] = {
      {"tavora.db", "is a FIFO",
       [](const std::string& p, const std::string&) { ::mkfifo(p.c_str(), 0600); }},
      {"tavora.db", "is a folder",
       [](const std::string& p, const std::string&) { fs::create_directory(p); }},
      {"tavora.db", "is a symbolic link",
       [](const std::string& p, const std::string& t) { fs::create_symlink(t, p); }},
      {"tavora.db", "is a symbolic link",
       [](const std::string& p, const std::string&) { fs::create_symlink("/nonexistent/x", p); }},
      {"tavora.db-wal", "is a symbolic link",
       [](const std::string& p, const std::string& t) { fs::create_symlink(t, p); }},
      {"tavora.db-shm", "is a symbolic link",
       [](const std::string& p, const std::string& t) { fs::create_symlink(t, p); }},
      {"server-state.json", "is a FIFO",
       [](const std::string& p, const std::string&) { ::mkfifo(p.c_str(), 0600); }},
      {"lock", "is a symbolic link",
       [](const std::string& p, const std::string& t) { fs::create_symlink(t, p); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.entry) + " " + c.kind);
    TempFolder folder, elsewhere;
    std::string target = elsewhere.File("precious");
    WriteFile(target, "precious");
    std::string path = folder.File(c.entry);
    c.make(path, target);
    auto before = fs::symlink_status(path).type();
    auto opened = DataFolder::Open(folder.path(), ServerOptions{});
    ASSERT_TRUE(std::holds_alternative<std::string>(opened));
    EXPECT_EQ(std::get<std::string>(opened),
              "The data folder entry '" + path + "' " + c.kind +
                  ", where the server keeps a regular file; it was left as it is. Move it away "
                  "to go on.");
    EXPECT_EQ(fs::symlink_status(path).type(), before);
    EXPECT_EQ(ReadFile(target), "precious");
  }
}

TEST(ServerDataFolder, AnOldStateTooLargeToReadIsRefusedUnread) {
  TempFolder folder;
  std::string legacy = folder.File("server-state.json");
  // Sparse: it takes no disk, but its size is over what the import reads.
  { std::ofstream(legacy, std::ios::binary) << "{"; }
  fs::resize_file(legacy, (uintmax_t{4} << 30) + 1);
  auto opened = DataFolder::Open(folder.path(), ServerOptions{});
  ASSERT_TRUE(std::holds_alternative<std::string>(opened));
  EXPECT_EQ(std::get<std::string>(opened),
            "Cannot read the server state '" + legacy + "': is larger than 4096 MiB.");
  EXPECT_EQ(fs::file_size(legacy), (uintmax_t{4} << 30) + 1);
  EXPECT_FALSE(fs::exists(folder.File("tavora.db")));
}

TEST(ServerDataFolder, AFileThatIsNotAStoreIsRefused) {
  TempFolder folder;
  std::string store = folder.File("tavora.db");
  WriteFile(store, std::string(4096, 'x'));
  auto opened = DataFolder::Open(folder.path(), ServerOptions{});
  ASSERT_TRUE(std::holds_alternative<std::string>(opened));
  EXPECT_EQ(std::get<std::string>(opened).rfind("Cannot open the store '" + store + "': ", 0), 0u)
      << std::get<std::string>(opened);
  EXPECT_EQ(ReadFile(store), std::string(4096, 'x'));
}

TEST(ServerDataFolder, OneProcessAtATime) {
  TempFolder folder;
  auto first = DataFolder::Open(folder.path(), ServerOptions{});
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<DataFolder>>(first));
  auto second = DataFolder::Open(folder.path(), ServerOptions{});
  ASSERT_TRUE(std::holds_alternative<std::string>(second));
  EXPECT_EQ(std::get<std::string>(second),
            "The data folder '" + folder.path() + "' is in use by another process.");
}

TEST(ServerDataFolder, MemoryKeepsNoFiles) {
  auto opened = DataFolder::Open(std::string(DataFolder::kMemory), ServerOptions{});
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<DataFolder>>(opened));
  DataFolder& data = *std::get<std::unique_ptr<DataFolder>>(opened);
  EXPECT_TRUE(data.in_memory());
  EXPECT_EQ(data.StoreFile(), "");
  int session = std::get<int>(data.engine().Login("sa", "", false, "TAVORA"));
  EXPECT_FALSE(data.Execute(session, "CREATE DATABASE transient").error);
  EXPECT_FALSE(fs::exists(":memory:"));
}

}  // namespace
}  // namespace server::testing
