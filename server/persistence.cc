#include "server/persistence.h"

// Reading a saved catalog back; persistence_write.cc writes it.

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>

namespace server {

namespace {

using Json = nlohmann::json;

// A state that parses as JSON but says something impossible.
class Corrupt : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that is not a server state at all, or one of another version.
class NotAState : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// --- Enumerations as words -----------------------------------------------

template <class E, size_t N>
E ValueOf(const EnumName<E> (&names)[N], const std::string& name, const char* what) {
  for (const auto& entry : names) {
    if (name == entry.name) return entry.value;
  }
  throw Corrupt(std::string("unknown ") + what + " '" + name + "'");
}

// --- Values ----------------------------------------------------------------

std::vector<uint8_t> Unhex(const std::string& text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw Corrupt("binary value with a character that is not hexadecimal");
  };
  if (text.size() % 2) throw Corrupt("binary value with an odd number of digits");
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(digit(text[i]) * 16 + digit(text[i + 1])));
  return bytes;
}

Value DecodeValue(const Json& j) {
  if (j.is_null()) return std::monostate{};
  if (!j.is_object() || j.size() != 1) throw Corrupt("a value is not null or a one-field object");
  if (j.contains("int")) return j.at("int").get<int64_t>();
  if (j.contains("float")) return j.at("float").get<double>();
  if (j.contains("text")) return j.at("text").get<std::string>();
  if (j.contains("binary")) return Unhex(j.at("binary").get<std::string>());
  throw Corrupt("a value of unknown kind");
}

DataType DecodeType(const Json& j) {
  std::string name = j.at("type").get<std::string>();
  std::optional<BaseType> base = FindBaseType(name);
  if (!base) throw Corrupt("unknown data type '" + name + "'");
  DataType type{*base, j.at("length").get<int>(), j.at("precision").get<int>(),
                j.at("scale").get<int>()};
  const TypeInfo& info = Info(*base);
  bool length_ok = info.sized ? type.length >= 1 && type.length <= MaxLength(*base)
                              : type.length >= 0 && type.length <= 8016;
  bool precision_ok = type.precision >= 0 && type.precision <= 53;
  bool scale_ok =
      type.scale >= 0 && type.scale <= (info.family == TypeFamily::kExact ? type.precision : 4);
  if (info.family == TypeFamily::kExact)
    precision_ok = precision_ok && type.precision >= 1 && type.precision <= 38;
  if (!length_ok || !precision_ok || !scale_ok)
    throw Corrupt("data type '" + name + "' with an impossible size");
  return type;
}

std::vector<Setting> DecodeSettings(const Json& j) {
  std::vector<Setting> settings;
  for (const Json& s : j)
    settings.push_back({s.at("name").get<std::string>(), DecodeValue(s.at("value"))});
  return settings;
}

// --- Tables -------------------------------------------------------------------

std::unique_ptr<Table> DecodeTable(const Json& j, const RowSink* sink) {
  auto table = std::make_unique<Table>();
  table->id = j.at("id").get<int>();
  table->store_id = j.value("store_id", int64_t{0});
  table->name = j.at("name").get<std::string>();
  table->owner = j.at("owner").get<std::string>();
  for (const Json& c : j.at("columns")) {
    Column column;
    column.name = c.at("name").get<std::string>();
    column.type = DecodeType(c.at("type"));
    column.user_type = c.at("user_type").get<std::string>();
    column.nullable = c.at("nullable").get<bool>();
    column.identity = c.at("identity").get<bool>();
    column.identity_seed = c.at("identity_seed").get<int64_t>();
    column.identity_increment = c.at("identity_increment").get<int64_t>();
    column.rowguidcol = c.at("rowguidcol").get<bool>();
    column.computed = c.at("computed").get<std::string>();
    column.collation = c.at("collation").get<std::string>();
    column.default_name = c.at("default_name").get<std::string>();
    column.default_id = c.at("default_id").get<int>();
    column.default_text = c.at("default_text").get<std::string>();
    column.bound_default = c.value("bound_default", std::string());
    column.bound_rule = c.value("bound_rule", std::string());
    table->columns.push_back(std::move(column));
  }
  if (table->columns.empty()) throw Corrupt("table '" + table->name + "' has no columns");
  for (const Json& i : j.at("indexes")) {
    Index index;
    index.index_id = i.at("index_id").get<int>();
    index.name = i.at("name").get<std::string>();
    index.kind = ValueOf(kIndexKinds, i.at("kind").get<std::string>(), "index kind");
    index.constraint_id = i.at("constraint_id").get<int>();
    index.columns = i.at("columns").get<std::vector<std::string>>();
    index.unique = i.at("unique").get<bool>();
    index.clustered = i.at("clustered").get<bool>();
    index.fill_factor = i.at("fill_factor").get<int>();
    index.ignore_dup_key = i.at("ignore_dup_key").get<bool>();
    table->indexes.push_back(std::move(index));
  }
  for (const Json& c : j.at("checks")) {
    table->checks.push_back({c.at("id").get<int>(), c.at("name").get<std::string>(),
                             c.at("text").get<std::string>(), c.at("column").get<std::string>(),
                             c.at("not_for_replication").get<bool>(), c.value("disabled", false),
                             c.value("not_trusted", false)});
  }
  for (const Json& f : j.at("foreign_keys")) {
    ForeignKey fk;
    fk.id = f.at("id").get<int>();
    fk.name = f.at("name").get<std::string>();
    fk.columns = f.at("columns").get<std::vector<std::string>>();
    fk.ref_owner = f.at("ref_owner").get<std::string>();
    fk.ref_table = f.at("ref_table").get<std::string>();
    fk.ref_columns = f.at("ref_columns").get<std::vector<std::string>>();
    fk.column_level = f.at("column_level").get<bool>();
    fk.not_for_replication = f.at("not_for_replication").get<bool>();
    fk.disabled = f.value("disabled", false);
    fk.not_trusted = f.value("not_trusted", false);
    table->foreign_keys.push_back(std::move(fk));
  }
  for (const Json& t : j.at("triggers")) {
    Trigger trigger;
    trigger.id = t.at("id").get<int>();
    trigger.name = t.at("name").get<std::string>();
    trigger.owner = t.at("owner").get<std::string>();
    trigger.text = t.at("text").get<std::string>();
    trigger.on_insert = t.at("on_insert").get<bool>();
    trigger.on_update = t.at("on_update").get<bool>();
    trigger.on_delete = t.at("on_delete").get<bool>();
    trigger.instead_of = t.at("instead_of").get<bool>();
    trigger.encrypted = t.at("encrypted").get<bool>();
    trigger.ansi_nulls = !t.contains("ansi_nulls") || t.at("ansi_nulls").get<bool>();
    trigger.quoted_identifier =
        !t.contains("quoted_identifier") || t.at("quoted_identifier").get<bool>();
    trigger.disabled = t.value("disabled", false);
    table->triggers.push_back(std::move(trigger));
  }
  const Json& fulltext = j.at("fulltext");
  if (!fulltext.is_null()) {
    FullTextIndex index;
    index.catalog = fulltext.at("catalog").get<std::string>();
    index.key_index = fulltext.at("key_index").get<std::string>();
    for (const Json& c : fulltext.at("columns"))
      index.columns.push_back({c.at("name").get<std::string>(), c.at("language").get<int>()});
    index.active = fulltext.at("active").get<bool>();
    table->fulltext = std::move(index);
  }
  if (j.contains("rows")) {
    std::vector<Row> rows;
    for (const Json& r : j.at("rows")) {
      Row row;
      for (const Json& cell : r) row.push_back(DecodeValue(cell));
      if (row.size() != table->columns.size())
        throw Corrupt("a row of table '" + table->name + "' has the wrong width");
      rows.push_back(std::move(row));
    }
    if (sink) (*sink)(*table, std::move(rows));
  }
  table->identity_current = j.at("identity_current").get<int64_t>();
  table->identity_used = j.at("identity_used").get<bool>();
  table->temp_session = j.value("temp_session", 0);
  table->temp_name = j.value("temp_name", std::string());
  table->temp_scope = j.value("temp_scope", 0);
  return table;
}

// --- Databases ----------------------------------------------------------------

std::unique_ptr<Database> DecodeDatabase(const Json& j, const RowSink* sink) {
  auto db = std::make_unique<Database>();
  db->dbid = j.at("dbid").get<int>();
  db->name = j.at("name").get<std::string>();
  if (db->name.empty()) throw Corrupt("a database without a name");
  db->data_file = j.at("data_file").get<std::string>();
  db->log_file = j.at("log_file").get<std::string>();
  db->collation = j.at("collation").get<std::string>();
  db->system = j.at("system").get<bool>();
  db->publish = j.at("publish").get<bool>();
  db->merge_publish = j.at("merge_publish").get<bool>();
  db->fulltext_enabled = j.at("fulltext_enabled").get<bool>();
  db->distribution = j.at("distribution").get<bool>();
  db->dbts = j.at("dbts").get<int64_t>();
  db->next_object_id = j.at("next_object_id").get<int>();
  db->next_usertype = j.at("next_usertype").get<int>();
  db->next_fulltext_catalog = j.at("next_fulltext_catalog").get<int>();
  if (db->next_object_id < 1)
    throw Corrupt("database '" + db->name + "' with an impossible next object id");
  db->users = j.at("users").get<std::vector<std::string>>();
  for (const Json& t : j.at("tables")) db->tables.push_back(DecodeTable(t, sink));
  for (const Json& m : j.at("modules")) {
    Module module;
    module.id = m.at("id").get<int>();
    module.name = m.at("name").get<std::string>();
    module.owner = m.at("owner").get<std::string>();
    module.type = ValueOf(kModuleTypes, m.at("type").get<std::string>(), "module type");
    module.text = m.at("text").get<std::string>();
    module.body = m.at("body").get<std::string>();
    module.encrypted = m.at("encrypted").get<bool>();
    module.schema_bound = m.at("schema_bound").get<bool>();
    module.ansi_nulls = !m.contains("ansi_nulls") || m.at("ansi_nulls").get<bool>();
    module.quoted_identifier =
        !m.contains("quoted_identifier") || m.at("quoted_identifier").get<bool>();
    module.bound_ids = m.at("bound_ids").get<std::vector<int>>();
    for (const Json& p : m.at("parameters")) {
      module.parameters.push_back({p.at("name").get<std::string>(), DecodeType(p.at("type")),
                                   p.at("has_default").get<bool>(),
                                   p.at("default_text").get<std::string>(),
                                   p.at("output").get<bool>()});
    }
    db->modules.push_back(std::move(module));
  }
  for (const Json& b : j.at("bindables")) {
    db->bindables.push_back({b.at("id").get<int>(), b.at("name").get<std::string>(),
                             b.at("owner").get<std::string>(), b.at("is_rule").get<bool>(),
                             b.at("text").get<std::string>(),
                             b.at("expression").get<std::string>()});
  }
  for (const Json& t : j.at("types")) {
    db->types.push_back({t.at("usertype").get<int>(), t.at("name").get<std::string>(),
                         t.at("owner").get<std::string>(), DecodeType(t.at("base")),
                         t.at("nullable").get<bool>(), t.at("default_name").get<std::string>(),
                         t.at("rule_name").get<std::string>()});
  }
  for (const Json& c : j.at("fulltext_catalogs")) {
    db->fulltext_catalogs.push_back(
        {c.at("id").get<int>(), c.at("name").get<std::string>(), c.at("path").get<std::string>()});
  }
  for (const Json& p : j.at("publications")) {
    Publication publication;
    publication.id = p.at("id").get<int>();
    publication.name = p.at("name").get<std::string>();
    publication.kind =
        ValueOf(kPublicationKinds, p.at("kind").get<std::string>(), "publication kind");
    publication.allow_queued_tran = p.at("allow_queued_tran").get<bool>();
    publication.settings = DecodeSettings(p.at("settings"));
    for (const Json& a : p.at("articles")) {
      publication.articles.push_back(
          {a.at("id").get<int>(), a.at("name").get<std::string>(),
           a.at("source_owner").get<std::string>(), a.at("source_object").get<std::string>(),
           a.at("type").get<std::string>(), DecodeSettings(a.at("settings"))});
    }
    db->publications.push_back(std::move(publication));
  }
  for (const Json& p : j.at("permissions")) {
    db->permissions.push_back({p.at("object_id").get<int>(), p.at("privilege").get<std::string>(),
                               p.at("columns").get<std::vector<std::string>>(),
                               p.at("grantee").get<std::string>()});
  }
  for (const Json& p : j.at("extended_properties")) {
    db->extended_properties.push_back(
        {p.at("user").get<std::string>(), p.at("major_id").get<int>(),
         p.at("minor_type").get<std::string>(), p.at("minor_name").get<std::string>(),
         p.at("name").get<std::string>(), DecodeValue(p.at("value"))});
  }
  return db;
}

// Names that must be unique under the collation the server now runs with
// (a state saved case-sensitive may not load case-insensitive).
void CheckUnique(std::set<std::string>& seen, const std::string& key, const std::string& what) {
  if (!seen.insert(key).second) throw Corrupt("two " + what + " under the server collation");
}

void Validate(ServerState& state) {
  const Collation& collation = state.collation;
  std::set<std::string> names;
  std::set<int> ids;
  for (const auto& db : state.databases) {
    CheckUnique(names, collation.Key(db->name), "databases named '" + db->name + "'");
    if (!ids.insert(db->dbid).second)
      throw Corrupt("two databases with id " + std::to_string(db->dbid));
    std::set<std::string> objects;
    for (const ObjectRef& object : db->AllObjects()) {
      CheckUnique(objects, collation.Key(object.owner) + "." + collation.Key(object.name),
                  "objects named '" + object.name + "' in database '" + db->name + "'");
    }
    for (const auto& table : db->tables) {
      std::set<std::string> columns;
      for (const Column& column : table->columns) {
        CheckUnique(columns, collation.Key(column.name),
                    "columns named '" + column.name + "' in '" + table->name + "'");
      }
    }
  }
  for (const char* system : {"master", "tempdb", "model", "msdb"}) {
    if (!state.FindDatabase(system))
      throw Corrupt(std::string("the system database '") + system + "' is missing");
  }
  if (state.distributor) {
    for (const DistributionDatabase& distribution : state.distributor->databases) {
      Database* db = state.FindDatabase(distribution.name);
      if (!db || !db->distribution)
        throw Corrupt("distribution database '" + distribution.name + "' is missing");
    }
  }
}

// The server from a parsed state: the whole-server text, or the store's
// texts put back together.
std::unique_ptr<ServerState> DecodeState(const Json& root, ServerOptions options,
                                         const RowSink* sink) {
  if (!root.is_object() || !root.contains("format") || root.at("format") != kStateFormat) {
    throw NotAState(std::string("not a server state (no \"format\": \"") + kStateFormat + "\")");
  }
  int version = root.at("version").get<int>();
  if (version != kStateVersion)
    throw NotAState("a server state of version " + std::to_string(version) +
                    ", which this server cannot read");
  auto state = std::make_unique<ServerState>(std::move(options));
  const Json& server = root.at("server");
  state->logins = server.at("logins").get<std::vector<std::string>>();
  state->next_dbid = server.at("next_dbid").get<int>();
  state->next_store_id = server.value("next_store_id", int64_t{1});
  state->guid_seed = server.at("guid_seed").get<uint64_t>();
  state->guid_counter = server.at("guid_counter").get<uint64_t>();
  const Json& distributor = server.at("distributor");
  if (!distributor.is_null()) {
    Distributor d;
    d.name = distributor.at("name").get<std::string>();
    d.password = distributor.at("password").get<std::string>();
    for (const Json& db : distributor.at("databases")) {
      d.databases.push_back({db.at("name").get<std::string>(), DecodeSettings(db.at("settings"))});
    }
    for (const Json& p : distributor.at("publishers")) {
      d.publishers.push_back({p.at("name").get<std::string>(),
                              p.at("distribution_db").get<std::string>(),
                              p.at("working_directory").get<std::string>()});
    }
    state->distributor = std::move(d);
  }
  for (const Json& db : root.at("databases")) state->databases.push_back(DecodeDatabase(db, sink));
  Validate(*state);
  return state;
}

template <class Decode>
std::variant<std::unique_ptr<ServerState>, std::string> Guarded(const Decode& decode) {
  try {
    return decode();
  } catch (const NotAState& e) {
    return std::string(e.what());
  } catch (const nlohmann::json::exception& e) {
    return std::string("not a valid server state: ") + e.what();
  } catch (const Corrupt& e) {
    return std::string("not a valid server state: ") + e.what();
  }
}

}  // namespace

std::variant<std::unique_ptr<ServerState>, std::string> LoadState(std::string_view text,
                                                                  ServerOptions options,
                                                                  const RowSink& rows) {
  return Guarded([&] { return DecodeState(Json::parse(text), std::move(options), &rows); });
}

std::variant<std::unique_ptr<ServerState>, std::string> LoadCatalog(
    const std::map<std::string, std::string>& texts, ServerOptions options) {
  return Guarded([&] {
    auto server = texts.find(kServerKey);
    if (server == texts.end()) throw Corrupt("the server's own entry is missing");
    Json root = Json::parse(server->second);
    Json& databases = root["databases"] = Json::array();
    for (const auto& [key, text] : texts) {
      if (key == kServerKey) continue;
      if (!key.starts_with("database ")) throw Corrupt("an unknown entry '" + key + "'");
      databases.push_back(Json::parse(text));
    }
    std::sort(databases.begin(), databases.end(), [](const Json& a, const Json& b) {
      return a.at("dbid").get<int>() < b.at("dbid").get<int>();
    });
    return DecodeState(root, std::move(options), nullptr);
  });
}

}  // namespace server
