#include "server/exec/replication.h"

#include <algorithm>

#include "server/types/collation.h"

namespace server {

bool IsLocalServer(const std::string& name, const ExecContext& ctx) {
  return EqualNoCase(name, ctx.server.options.name) ||
         (!ctx.session.server_name.empty() && EqualNoCase(name, ctx.session.server_name));
}

bool PublisherReady(const ExecContext& ctx) {
  const std::optional<Distributor>& distributor = ctx.server.distributor;
  if (!distributor || distributor->databases.empty()) return false;
  return std::any_of(
      distributor->publishers.begin(), distributor->publishers.end(),
      [&](const Publisher& publisher) { return IsLocalServer(publisher.name, ctx); });
}

std::string SyncTriggerName(const std::string& article) {
  return "sp_MSsync_upd_trig_" + article + "_2";
}

std::string SyncTriggerText(const std::string& article, const Table& table) {
  std::string object = "[" + table.owner + "].[" + table.name + "]";
  std::string keys;
  if (const Index* key = table.PrimaryKey()) {
    for (const std::string& column : key->columns) {
      if (!keys.empty()) keys += " and ";
      keys += object + ".[" + column + "] = inserted.[" + column + "]";
    }
  }
  return " create trigger [" + SyncTriggerName(article) + "] on " + object +
         " for update as  \r\n" + " declare @rc int\r\n" + " select @rc = @@ROWCOUNT \r\n\r\n" +
         " if @rc = 0 return \r\n" + " if update (msrepl_tran_version) return \r\n" + " update " +
         object + " set msrepl_tran_version = newid() from " + object + ", inserted  \r\n" +
         " \twhere \t " + keys + " ";
}

void RemovePublication(Database& db, const std::string& name, const Collation& collation) {
  for (Publication& publication : db.publications) {
    if (!collation.Equal(publication.name, name)) continue;
    if (publication.allow_queued_tran) {
      for (const Article& article : publication.articles) {
        Table* table = db.FindTable(article.source_owner, article.source_object, collation);
        if (!table) continue;
        std::string trigger = SyncTriggerName(article.name);
        std::erase_if(table->triggers,
                      [&](const Trigger& t) { return collation.Equal(t.name, trigger); });
      }
    }
    db.ForgetObject(publication.id);
  }
  std::erase_if(db.publications,
                [&](const Publication& p) { return collation.Equal(p.name, name); });
}

}  // namespace server
