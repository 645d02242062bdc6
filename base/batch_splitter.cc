#include "base/batch_splitter.h"

#include <algorithm>

namespace base {

namespace {

template <typename Char>
bool IsBlank(Char c) {
  return c == ' ' || c == '\t';
}

template <typename Char>
bool IsWhiteSpace(Char c) {
  return IsBlank(c) || c == '\r' || c == '\n';
}

// `line` without its line break.
template <typename Char>
bool IsGoLine(std::basic_string_view<Char> line) {
  size_t first = 0;
  while (first < line.size() && IsBlank(line[first])) ++first;
  size_t last = line.size();
  while (last > first && IsBlank(line[last - 1])) --last;
  if (last - first != 2) return false;
  return (line[first] == 'G' || line[first] == 'g') &&
         (line[first + 1] == 'O' || line[first + 1] == 'o');
}

template <typename Char>
std::vector<std::basic_string_view<Char>> Split(std::basic_string_view<Char> text) {
  using View = std::basic_string_view<Char>;
  std::vector<View> batches;
  // The batch runs from batch_start to the end of the content of the last
  // line seen before a GO line, so the break leading into GO is left out.
  size_t batch_start = 0;
  size_t line_start = 0;
  auto close_batch = [&](size_t batch_end) {
    View batch = text.substr(batch_start, batch_end - batch_start);
    if (!std::all_of(batch.begin(), batch.end(), IsWhiteSpace<Char>)) batches.emplace_back(batch);
  };
  while (line_start <= text.size()) {
    size_t newline = text.find('\n', line_start);
    size_t line_end = newline == View::npos ? text.size() : newline;
    size_t content_end = line_end;
    if (content_end > line_start && text[content_end - 1] == '\r') --content_end;
    size_t next = newline == View::npos ? text.size() + 1 : newline + 1;
    if (IsGoLine(text.substr(line_start, content_end - line_start))) {
      // The break before the GO line belongs to neither batch.
      size_t batch_end = line_start;
      if (batch_end > batch_start && text[batch_end - 1] == '\n') --batch_end;
      if (batch_end > batch_start && text[batch_end - 1] == '\r') --batch_end;
      close_batch(batch_end);
      batch_start = std::min(next, text.size());
    }
    line_start = next;
  }
  if (batch_start < text.size()) close_batch(text.size());
  return batches;
}

template <typename Char>
std::vector<std::basic_string<Char>> Copies(std::vector<std::basic_string_view<Char>> views) {
  return std::vector<std::basic_string<Char>>(views.begin(), views.end());
}

}  // namespace

std::vector<std::string> SplitBatches(std::string_view text) { return Copies(Split(text)); }

std::vector<std::u16string> SplitBatches(std::u16string_view text) { return Copies(Split(text)); }

std::vector<std::string_view> SplitBatchViews(std::string_view text) { return Split(text); }

std::vector<std::u16string_view> SplitBatchViews(std::u16string_view text) { return Split(text); }

}  // namespace base
