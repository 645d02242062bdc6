// The distributor: sp_dropdistributor, sp_adddistributor,
// sp_adddistributiondb and sp_adddistpublisher. The server can be its own
// distributor and publisher, reached by its own name or by the name the
// client used.

#include <algorithm>

#include "server/exec/replication.h"
#include "server/exec/system_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

std::string Join(const std::string& folder, const std::string& file) {
  if (folder.empty()) return file;
  return folder.back() == '\\' ? folder + file : folder + "\\" + file;
}

}  // namespace

Status SpDropDistributor(const ProcArgs& args, ExecContext& ctx) {
  std::optional<Distributor>& distributor = ctx.server.distributor;
  if (!distributor) return Raise(Msg::kDistributorNotInstalled);
  if (args.Int("@no_checks") == 0 && !distributor->databases.empty()) {
    return Raise(Msg::kDistributorHasDatabases, {distributor->name});
  }
  // With @no_checks the distribution databases go too; publications stay
  // in their databases, as they do on SQL Server.
  for (const DistributionDatabase& distribution : distributor->databases) {
    for (const auto& session : ctx.sessions) {
      if (ctx.collation().Equal(session->database, distribution.name)) {
        return Raise(Msg::kDatabaseInUse, {"database", distribution.name});
      }
    }
  }
  for (const DistributionDatabase& distribution : distributor->databases) {
    Database* db = ctx.server.FindDatabase(distribution.name);
    std::erase_if(ctx.server.databases,
                  [db](const std::unique_ptr<Database>& d) { return d.get() == db; });
  }
  distributor.reset();
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpAddDistributor(const ProcArgs& args, ExecContext& ctx) {
  std::string name = args.Text("@distributor");
  if (ctx.server.distributor) return Raise(Msg::kDistributorExists, {ctx.server.distributor->name});
  // A remote distributor would need a second server; this one can only
  // distribute for itself.
  if (!IsLocalServer(name, ctx)) return Raise(Msg::kNotADistributor, {name});
  ctx.server.distributor = Distributor{name, args.Text("@password"), {}, {}};
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpAddDistributionDb(const ProcArgs& args, ExecContext& ctx) {
  std::optional<Distributor>& distributor = ctx.server.distributor;
  if (!distributor) return Raise(Msg::kNotADistributor, {ctx.server.options.name});
  std::string name = args.Text("@database");
  for (const DistributionDatabase& existing : distributor->databases) {
    if (ctx.collation().Equal(existing.name, name))
      return Raise(Msg::kDistributionDatabaseExists, {name});
  }
  if (ctx.server.FindDatabase(name)) return Raise(Msg::kDatabaseExists, {name});
  Database& db = ctx.server.AddDatabase(name, false);
  db.distribution = true;
  std::string folder =
      args.Given("@data_folder") ? args.Text("@data_folder") : ctx.server.DataFolder();
  std::string log_folder = args.Given("@log_folder") ? args.Text("@log_folder") : folder;
  db.data_file = Join(folder, args.Given("@data_file") ? args.Text("@data_file") : name + ".MDF");
  db.log_file = Join(log_folder, args.Given("@log_file") ? args.Text("@log_file") : name + ".LDF");
  distributor->databases.push_back({name, args.Settings()});
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpAddDistPublisher(const ProcArgs& args, ExecContext& ctx) {
  std::optional<Distributor>& distributor = ctx.server.distributor;
  if (!distributor) return Raise(Msg::kNotADistributor, {ctx.server.options.name});
  std::string distribution_db = args.Text("@distribution_db");
  bool known = std::any_of(distributor->databases.begin(), distributor->databases.end(),
                           [&](const DistributionDatabase& d) {
                             return ctx.collation().Equal(d.name, distribution_db);
                           });
  if (!known) return Raise(Msg::kNotADistributionDatabase, {distribution_db});
  std::string name = args.Text("@publisher");
  for (const Publisher& publisher : distributor->publishers) {
    if (EqualNoCase(publisher.name, name)) return Raise(Msg::kPublisherExists, {name});
  }
  distributor->publishers.push_back({name, distribution_db, args.Text("@working_directory")});
  ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
