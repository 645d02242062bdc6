#include "host/batch_splitter.h"

#include <string>

#include "base/batch_splitter.h"
#include "harness/error.h"

namespace host {

std::vector<std::u16string> SplitBatches(std::u16string_view text) {
  std::vector<std::u16string_view> views = SplitBatchViews(text);
  return std::vector<std::u16string>(views.begin(), views.end());
}

std::vector<std::u16string_view> SplitBatchViews(std::u16string_view text) {
  size_t nul = text.find(u'\0');
  if (nul != std::u16string_view::npos) {
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
  return base::SplitBatchViews(text);
}

}  // namespace host
