#ifndef TAVORA_SERVER_EXEC_LIKE_H_
#define TAVORA_SERVER_EXEC_LIKE_H_

#include <cstdint>
#include <string_view>

#include "server/types/collation.h"

namespace server {

// LIKE's patterns: % any run of characters, _ one character, [set], [a-z]
// and [^set]; characters compare under the collation. Trailing blanks of
// the text do not keep it from matching, as SQL Server ignores them.
bool LikeMatch(std::string_view text, std::string_view pattern, const Collation& collation);

// PATINDEX: the position (from 1, in characters) where the pattern's first
// match in `text` starts, or 0. A pattern that does not begin with % must
// match from the first character.
int64_t PatternPosition(std::string_view text, std::string_view pattern,
                        const Collation& collation);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_LIKE_H_
