#include "host/batch_splitter.h"

#include <algorithm>
#include <string>

#include "harness/error.h"

namespace host {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool IsWhiteSpace(char16_t c) { return IsBlank(c) || c == u'\r' || c == u'\n'; }

// `line` without its line break.
bool IsGoLine(std::u16string_view line) {
  size_t first = 0;
  while (first < line.size() && IsBlank(line[first])) ++first;
  size_t last = line.size();
  while (last > first && IsBlank(line[last - 1])) --last;
  if (last - first != 2) return false;
  return (line[first] == u'G' || line[first] == u'g') &&
         (line[first + 1] == u'O' || line[first + 1] == u'o');
}

bool IsEmptyBatch(std::u16string_view batch) {
  for (char16_t c : batch) {
    if (!IsWhiteSpace(c)) return false;
  }
  return true;
}

void CheckNoNul(std::u16string_view text) {
  size_t nul = text.find(u'\0');
  if (nul == std::u16string_view::npos) return;
  size_t line = 1;
  for (size_t i = 0; i < nul; ++i) {
    if (text[i] == u'\n') ++line;
  }
  std::string number = std::to_string(line);
  throw harness::Error(harness::errors::kInvalidCall,
                       harness::RuntimeText(harness::errors::kInvalidCall) +
                           u": the batch text holds a NUL character on line " +
                           std::u16string(number.begin(), number.end()));
}

}  // namespace

std::vector<std::u16string> SplitBatches(std::u16string_view text) {
  CheckNoNul(text);
  std::vector<std::u16string> batches;
  // The batch runs from batch_start to the end of the content of the last
  // line seen before a GO line, so the break leading into GO is left out.
  size_t batch_start = 0;
  size_t line_start = 0;
  auto close_batch = [&](size_t batch_end) {
    std::u16string_view batch = text.substr(batch_start, batch_end - batch_start);
    if (!IsEmptyBatch(batch)) batches.emplace_back(batch);
  };
  while (line_start <= text.size()) {
    size_t newline = text.find(u'\n', line_start);
    size_t line_end = newline == std::u16string_view::npos ? text.size() : newline;
    size_t content_end = line_end;
    if (content_end > line_start && text[content_end - 1] == u'\r') --content_end;
    size_t next = newline == std::u16string_view::npos ? text.size() + 1 : newline + 1;
    if (IsGoLine(text.substr(line_start, content_end - line_start))) {
      // The break before the GO line belongs to neither batch.
      size_t batch_end = line_start;
      if (batch_end > batch_start && text[batch_end - 1] == u'\n') --batch_end;
      if (batch_end > batch_start && text[batch_end - 1] == u'\r') --batch_end;
      close_batch(batch_end);
      batch_start = std::min(next, text.size());
    }
    line_start = next;
  }
  if (batch_start < text.size()) close_batch(text.size());
  return batches;
}

}  // namespace host
