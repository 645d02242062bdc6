#include "server/catalog/server_state.h"

#include "server/types/scalar.h"

namespace server {

Database* ServerState::FindDatabase(std::string_view name) {
  for (auto& db : databases) {
    if (collation.Equal(db->name, name)) return db.get();
  }
  return nullptr;
}

std::string ServerState::DataFolder() const {
  const std::string& phyname = options.master_phyname;
  size_t slash = phyname.find_last_of('\\');
  return slash == std::string::npos ? std::string() : phyname.substr(0, slash);
}

std::string ServerState::NewGuid() { return GuidFromNumbers(guid_seed, ++guid_counter); }

Database& ServerState::AddDatabase(const std::string& name, bool system) {
  auto db = std::make_unique<Database>();
  db->name = name;
  db->system = system;
  db->collation = std::string(collation.name());
  std::string folder = DataFolder();
  std::string prefix = folder.empty() ? std::string() : folder + "\\";
  if (name == "master") {
    db->dbid = 1;
    db->data_file = options.master_phyname;
    db->log_file = prefix + "mastlog.ldf";
  } else {
    static constexpr std::pair<std::string_view, int> kSystemIds[] = {
        {"tempdb", 2}, {"model", 3}, {"msdb", 4}};
    db->dbid = 0;
    for (const auto& [system_name, id] : kSystemIds) {
      if (name == system_name) db->dbid = id;
    }
    if (db->dbid == 0) db->dbid = next_dbid++;
    db->data_file = prefix + name + ".mdf";
    db->log_file = prefix + name + "_log.LDF";
  }
  databases.push_back(std::move(db));
  return *databases.back();
}

std::vector<std::unique_ptr<Table>> ServerState::TakeTempTables(
    const std::function<bool(int)>& ended) {
  std::vector<std::unique_ptr<Table>> taken;
  Database* tempdb = FindDatabase("tempdb");
  if (!tempdb) return taken;
  std::vector<std::unique_ptr<Table>>& tables = tempdb->tables;
  for (auto it = tables.begin(); it != tables.end();) {
    if ((*it)->temp_session != 0 && ended((*it)->temp_session)) {
      tempdb->ForgetObject((*it)->id);
      taken.push_back(std::move(*it));
      it = tables.erase(it);
    } else {
      ++it;
    }
  }
  return taken;
}

std::unique_ptr<ServerState> NewServerState(ServerOptions options) {
  auto state = std::make_unique<ServerState>(std::move(options));
  for (const char* name : {"master", "tempdb", "model", "msdb"}) state->AddDatabase(name, true);
  return state;
}

}  // namespace server
