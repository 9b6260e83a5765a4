// Splitting of a text into items at a delimiter and at control characters and
// blanks: how the instrument's reply falls into words and how the list of accepted
// models is read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorvi {

/// Empties `items` and fills it with the items of `text`:
/// - the text ends at its end or at its first zero byte;
/// - characters with codes 1 to 32 separate items as the delimiter does, and
///   leading ones are skipped;
/// - an item that begins with a double quote runs to the next lone double quote, a
///   doubled one inside standing for one; without a closing quote it runs to the end;
/// - any other item runs up to the next character of code 32 or less, or the delimiter;
/// - after an item separators are skipped; a delimiter that follows is skipped with
///   the separators behind it, and a delimiter as the very last character adds one
///   empty item.
void SplitDelimited(char delimiter, std::string_view text, std::vector<std::string>& items);

} // namespace zorvi
