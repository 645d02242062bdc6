// Writing the catalog as JSON. The server writes its state after every batch
// that changed it, so the text is produced directly into one string; the
// reader in persistence.cc parses it back with a JSON library.

#include <cstdio>

#include "base/utf.h"
#include "server/persistence.h"
#include "server/types/scalar.h"

namespace server {

namespace {

class JsonWriter {
 public:
  std::string Take() { return std::move(out_); }

  void BeginObject() {
    Separate();
    out_ += '{';
    first_ = true;
  }
  void EndObject() {
    out_ += '}';
    first_ = false;
  }
  void BeginArray() {
    Separate();
    out_ += '[';
    first_ = true;
  }
  void EndArray() {
    out_ += ']';
    first_ = false;
  }
  JsonWriter& Key(std::string_view key) {
    Separate();
    Quote(key);
    out_ += ':';
    after_key_ = true;
    return *this;
  }
  void String(std::string_view text) {
    Separate();
    if (base::IsValidUtf8(text)) {
      Quote(text);
      return;
    }
    // Catalog text is UTF-8 already; a bad byte would only come from a
    // defect, and must not make the state unreadable.
    std::string repaired;
    for (unsigned char c : text) repaired += c < 0x80 ? static_cast<char>(c) : '?';
    Quote(repaired);
  }
  void Int(int64_t value) {
    Separate();
    out_ += std::to_string(value);
  }
  void Uint(uint64_t value) {
    Separate();
    out_ += std::to_string(value);
  }
  void Double(double value) {
    Separate();
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    out_ += buffer;
  }
  void Bool(bool value) {
    Separate();
    out_ += value ? "true" : "false";
  }
  void Null() {
    Separate();
    out_ += "null";
  }

  // A key and its value.
  void Field(std::string_view key, std::string_view value) { Key(key).String(value); }
  void Field(std::string_view key, const char* value) { Key(key).String(value); }
  void Field(std::string_view key, const std::string& value) { Key(key).String(value); }
  void Field(std::string_view key, int value) { Key(key).Int(value); }
  void Field(std::string_view key, int64_t value) { Key(key).Int(value); }
  void Field(std::string_view key, bool value) { Key(key).Bool(value); }
  void Field(std::string_view key, const std::vector<std::string>& values) {
    Key(key).BeginArray();
    for (const std::string& value : values) String(value);
    EndArray();
  }
  void Field(std::string_view key, const std::vector<int>& values) {
    Key(key).BeginArray();
    for (int value : values) Int(value);
    EndArray();
  }

 private:
  void Separate() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (!first_) out_ += ',';
    first_ = false;
  }

  void Quote(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out_ += '"';
    for (char c : text) {
      switch (c) {
        case '"':
          out_ += "\\\"";
          break;
        case '\\':
          out_ += "\\\\";
          break;
        case '\n':
          out_ += "\\n";
          break;
        case '\r':
          out_ += "\\r";
          break;
        case '\t':
          out_ += "\\t";
          break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            out_ += "\\u00";
            out_ += kHex[(c >> 4) & 0xf];
            out_ += kHex[c & 0xf];
          } else {
            out_ += c;
          }
      }
    }
    out_ += '"';
  }

  std::string out_;
  bool first_ = true;
  bool after_key_ = false;
};

template <class E, size_t N>
const char* NameOf(const EnumName<E> (&names)[N], E value) {
  for (const auto& entry : names) {
    if (entry.value == value) return entry.name;
  }
  return names[0].name;
}

void WriteValue(JsonWriter& w, const Value& value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (const auto* i = std::get_if<int64_t>(&value)) {
    w.BeginObject();
    w.Field("int", *i);
    w.EndObject();
  } else if (const auto* d = std::get_if<double>(&value)) {
    w.BeginObject();
    w.Key("float").Double(*d);
    w.EndObject();
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    w.BeginObject();
    w.Field("text", *s);
    w.EndObject();
  } else if (const auto* b = std::get_if<std::vector<uint8_t>>(&value)) {
    std::string hex;
    hex.reserve(b->size() * 2);
    for (uint8_t byte : *b) {
      hex += kHex[byte >> 4];
      hex += kHex[byte & 15];
    }
    w.BeginObject();
    w.Field("binary", hex);
    w.EndObject();
  } else {
    w.Null();
  }
}

void WriteType(JsonWriter& w, std::string_view key, const DataType& type) {
  w.Key(key).BeginObject();
  w.Field("type", Info(type.base).name);
  w.Field("length", type.length);
  w.Field("precision", type.precision);
  w.Field("scale", type.scale);
  w.EndObject();
}

void WriteSettings(JsonWriter& w, const std::vector<Setting>& settings) {
  w.Key("settings").BeginArray();
  for (const Setting& setting : settings) {
    w.BeginObject();
    w.Field("name", setting.name);
    w.Key("value");
    WriteValue(w, setting.value);
    w.EndObject();
  }
  w.EndArray();
}

void WriteTable(JsonWriter& w, const Table& table, const RowsOf* rows) {
  w.BeginObject();
  w.Field("id", table.id);
  w.Field("store_id", table.store_id);
  w.Field("name", table.name);
  w.Field("owner", table.owner);
  w.Key("columns").BeginArray();
  for (const Column& c : table.columns) {
    w.BeginObject();
    w.Field("name", c.name);
    WriteType(w, "type", c.type);
    w.Field("user_type", c.user_type);
    w.Field("nullable", c.nullable);
    w.Field("identity", c.identity);
    w.Field("identity_seed", c.identity_seed);
    w.Field("identity_increment", c.identity_increment);
    w.Field("rowguidcol", c.rowguidcol);
    w.Field("computed", c.computed);
    w.Field("collation", c.collation);
    w.Field("default_name", c.default_name);
    w.Field("default_id", c.default_id);
    w.Field("default_text", c.default_text);
    // Bindings, disabled and untrusted states are written only when set,
    // so catalogs saved before they existed read the same.
    if (!c.bound_default.empty()) w.Field("bound_default", c.bound_default);
    if (!c.bound_rule.empty()) w.Field("bound_rule", c.bound_rule);
    w.EndObject();
  }
  w.EndArray();
  w.Key("indexes").BeginArray();
  for (const Index& i : table.indexes) {
    w.BeginObject();
    w.Field("index_id", i.index_id);
    w.Field("name", i.name);
    w.Field("kind", NameOf(kIndexKinds, i.kind));
    w.Field("constraint_id", i.constraint_id);
    w.Field("columns", i.columns);
    w.Field("unique", i.unique);
    w.Field("clustered", i.clustered);
    w.Field("fill_factor", i.fill_factor);
    w.Field("ignore_dup_key", i.ignore_dup_key);
    w.EndObject();
  }
  w.EndArray();
  w.Key("checks").BeginArray();
  for (const CheckConstraint& c : table.checks) {
    w.BeginObject();
    w.Field("id", c.id);
    w.Field("name", c.name);
    w.Field("text", c.text);
    w.Field("column", c.column);
    w.Field("not_for_replication", c.not_for_replication);
    if (c.disabled) w.Field("disabled", true);
    if (c.not_trusted) w.Field("not_trusted", true);
    w.EndObject();
  }
  w.EndArray();
  w.Key("foreign_keys").BeginArray();
  for (const ForeignKey& f : table.foreign_keys) {
    w.BeginObject();
    w.Field("id", f.id);
    w.Field("name", f.name);
    w.Field("columns", f.columns);
    w.Field("ref_owner", f.ref_owner);
    w.Field("ref_table", f.ref_table);
    w.Field("ref_columns", f.ref_columns);
    w.Field("column_level", f.column_level);
    w.Field("not_for_replication", f.not_for_replication);
    if (f.disabled) w.Field("disabled", true);
    if (f.not_trusted) w.Field("not_trusted", true);
    w.EndObject();
  }
  w.EndArray();
  w.Key("triggers").BeginArray();
  for (const Trigger& t : table.triggers) {
    w.BeginObject();
    w.Field("id", t.id);
    w.Field("name", t.name);
    w.Field("owner", t.owner);
    w.Field("text", t.text);
    w.Field("on_insert", t.on_insert);
    w.Field("on_update", t.on_update);
    w.Field("on_delete", t.on_delete);
    w.Field("instead_of", t.instead_of);
    w.Field("encrypted", t.encrypted);
    // Written only when OFF, so states saved before it existed read the same.
    if (!t.ansi_nulls) w.Field("ansi_nulls", t.ansi_nulls);
    if (!t.quoted_identifier) w.Field("quoted_identifier", t.quoted_identifier);
    if (t.disabled) w.Field("disabled", true);
    w.EndObject();
  }
  w.EndArray();
  w.Key("fulltext");
  if (table.fulltext) {
    w.BeginObject();
    w.Field("catalog", table.fulltext->catalog);
    w.Field("key_index", table.fulltext->key_index);
    w.Key("columns").BeginArray();
    for (const FullTextColumn& c : table.fulltext->columns) {
      w.BeginObject();
      w.Field("name", c.name);
      w.Field("language", c.language);
      w.EndObject();
    }
    w.EndArray();
    w.Field("active", table.fulltext->active);
    w.EndObject();
  } else {
    w.Null();
  }
  if (rows) {
    w.Key("rows").BeginArray();
    for (const Row& row : (*rows)(table)) {
      w.BeginArray();
      for (const Value& value : row) WriteValue(w, value);
      w.EndArray();
    }
    w.EndArray();
  }
  w.Field("identity_current", table.identity_current);
  w.Field("identity_used", table.identity_used);
  // Only temporary tables have these, so other catalogs read as before.
  if (table.temp_session != 0) {
    w.Field("temp_session", table.temp_session);
    w.Field("temp_name", table.temp_name);
    w.Field("temp_scope", table.temp_scope);
  }
  w.EndObject();
}

void WriteDatabase(JsonWriter& w, const Database& db, const RowsOf* rows) {
  w.BeginObject();
  w.Field("dbid", db.dbid);
  w.Field("name", db.name);
  w.Field("data_file", db.data_file);
  w.Field("log_file", db.log_file);
  w.Field("collation", db.collation);
  w.Field("system", db.system);
  w.Field("publish", db.publish);
  w.Field("merge_publish", db.merge_publish);
  w.Field("fulltext_enabled", db.fulltext_enabled);
  w.Field("distribution", db.distribution);
  w.Field("dbts", db.dbts);
  w.Field("next_object_id", db.next_object_id);
  w.Field("next_usertype", db.next_usertype);
  w.Field("next_fulltext_catalog", db.next_fulltext_catalog);
  w.Field("users", db.users);
  w.Key("tables").BeginArray();
  for (const auto& table : db.tables) WriteTable(w, *table, rows);
  w.EndArray();
  w.Key("modules").BeginArray();
  for (const Module& m : db.modules) {
    w.BeginObject();
    w.Field("id", m.id);
    w.Field("name", m.name);
    w.Field("owner", m.owner);
    w.Field("type", NameOf(kModuleTypes, m.type));
    w.Field("text", m.text);
    w.Field("body", m.body);
    w.Field("encrypted", m.encrypted);
    w.Field("schema_bound", m.schema_bound);
    // Written only when OFF, so states saved before it existed read the same.
    if (!m.ansi_nulls) w.Field("ansi_nulls", m.ansi_nulls);
    if (!m.quoted_identifier) w.Field("quoted_identifier", m.quoted_identifier);
    w.Field("bound_ids", m.bound_ids);
    w.Key("parameters").BeginArray();
    for (const ModuleParameter& p : m.parameters) {
      w.BeginObject();
      w.Field("name", p.name);
      WriteType(w, "type", p.type);
      w.Field("has_default", p.has_default);
      w.Field("default_text", p.default_text);
      w.Field("output", p.output);
      w.EndObject();
    }
    w.EndArray();
    w.EndObject();
  }
  w.EndArray();
  w.Key("bindables").BeginArray();
  for (const Bindable& b : db.bindables) {
    w.BeginObject();
    w.Field("id", b.id);
    w.Field("name", b.name);
    w.Field("owner", b.owner);
    w.Field("is_rule", b.is_rule);
    w.Field("text", b.text);
    w.Field("expression", b.expression);
    w.EndObject();
  }
  w.EndArray();
  w.Key("types").BeginArray();
  for (const UserType& t : db.types) {
    w.BeginObject();
    w.Field("usertype", t.usertype);
    w.Field("name", t.name);
    w.Field("owner", t.owner);
    WriteType(w, "base", t.base);
    w.Field("nullable", t.nullable);
    w.Field("default_name", t.default_name);
    w.Field("rule_name", t.rule_name);
    w.EndObject();
  }
  w.EndArray();
  w.Key("fulltext_catalogs").BeginArray();
  for (const FullTextCatalog& c : db.fulltext_catalogs) {
    w.BeginObject();
    w.Field("id", c.id);
    w.Field("name", c.name);
    w.Field("path", c.path);
    w.EndObject();
  }
  w.EndArray();
  w.Key("publications").BeginArray();
  for (const Publication& p : db.publications) {
    w.BeginObject();
    w.Field("id", p.id);
    w.Field("name", p.name);
    w.Field("kind", NameOf(kPublicationKinds, p.kind));
    w.Field("allow_queued_tran", p.allow_queued_tran);
    WriteSettings(w, p.settings);
    w.Key("articles").BeginArray();
    for (const Article& a : p.articles) {
      w.BeginObject();
      w.Field("id", a.id);
      w.Field("name", a.name);
      w.Field("source_owner", a.source_owner);
      w.Field("source_object", a.source_object);
      w.Field("type", a.type);
      WriteSettings(w, a.settings);
      w.EndObject();
    }
    w.EndArray();
    w.EndObject();
  }
  w.EndArray();
  w.Key("permissions").BeginArray();
  for (const Permission& p : db.permissions) {
    w.BeginObject();
    w.Field("object_id", p.object_id);
    w.Field("privilege", p.privilege);
    w.Field("columns", p.columns);
    w.Field("grantee", p.grantee);
    w.EndObject();
  }
  w.EndArray();
  w.Key("extended_properties").BeginArray();
  for (const ExtendedProperty& p : db.extended_properties) {
    w.BeginObject();
    w.Field("user", p.user);
    w.Field("major_id", p.major_id);
    w.Field("minor_type", p.minor_type);
    w.Field("minor_name", p.minor_name);
    w.Field("name", p.name);
    w.Key("value");
    WriteValue(w, p.value);
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
}

void WriteServer(JsonWriter& w, const ServerState& state) {
  w.Key("server").BeginObject();
  w.Field("logins", state.logins);
  w.Field("next_dbid", state.next_dbid);
  w.Field("next_store_id", state.next_store_id);
  w.Key("guid_seed").Uint(state.guid_seed);
  w.Key("guid_counter").Uint(state.guid_counter);
  w.Key("distributor");
  if (state.distributor) {
    w.BeginObject();
    w.Field("name", state.distributor->name);
    w.Field("password", state.distributor->password);
    w.Key("databases").BeginArray();
    for (const DistributionDatabase& d : state.distributor->databases) {
      w.BeginObject();
      w.Field("name", d.name);
      WriteSettings(w, d.settings);
      w.EndObject();
    }
    w.EndArray();
    w.Key("publishers").BeginArray();
    for (const Publisher& p : state.distributor->publishers) {
      w.BeginObject();
      w.Field("name", p.name);
      w.Field("distribution_db", p.distribution_db);
      w.Field("working_directory", p.working_directory);
      w.EndObject();
    }
    w.EndArray();
    w.EndObject();
  } else {
    w.Null();
  }
  w.EndObject();
}

void WriteHeader(JsonWriter& w) {
  w.Field("format", kStateFormat);
  w.Field("version", kStateVersion);
}

}  // namespace

std::string SaveState(const ServerState& state, const RowsOf& rows) {
  JsonWriter w;
  w.BeginObject();
  WriteHeader(w);
  WriteServer(w, state);
  w.Key("databases").BeginArray();
  for (const auto& db : state.databases) WriteDatabase(w, *db, &rows);
  w.EndArray();
  w.EndObject();
  std::string text = w.Take();
  text += '\n';
  return text;
}

std::map<std::string, std::string> CatalogTexts(const ServerState& state) {
  std::map<std::string, std::string> texts;
  JsonWriter server;
  server.BeginObject();
  WriteHeader(server);
  WriteServer(server, state);
  server.EndObject();
  texts[kServerKey] = server.Take();
  for (const auto& db : state.databases) {
    JsonWriter w;
    WriteDatabase(w, *db, nullptr);
    texts[DatabaseKey(db->dbid)] = w.Take();
  }
  return texts;
}

}  // namespace server
