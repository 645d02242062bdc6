#include "datasets/batch.h"

namespace tavora {

namespace {

template <class Lines>
std::u16string Join(const Lines& lines) {
  std::u16string text;
  bool first = true;
  for (const auto& line : lines) {
    if (!first) text += u"\r\n";
    text += line;
    first = false;
  }
  return text;
}

}  // namespace

std::u16string JoinLines(std::initializer_list<std::u16string_view> lines) { return Join(lines); }

std::u16string JoinLines(const std::vector<std::u16string>& lines) { return Join(lines); }

std::u16string StandardBatch(std::u16string_view database, std::u16string_view statement) {
  std::u16string text = u"USE ";
  text += database;
  text += u"\r\nGO\r\n";
  text += statement;
  return text;
}

std::u16string PlainBatch(std::u16string_view database, std::u16string_view statement) {
  std::u16string text = u"USE ";
  text += database;
  text += u"\r\n";
  text += statement;
  return text;
}

std::u16string ServerBatch(std::u16string_view statement) {
  return PlainBatch(u"master", statement);
}

void Execute(harness::SqlSession& session, const std::u16string& text) { session.Execute(0, text); }

}  // namespace tavora
