#pragma once
// Upper and lower case of the characters scripts meet in practice: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic. Other characters are left as they are.

#include <string>
#include <string_view>

namespace corvella::script {

char16_t UpperChar(char16_t c);
char16_t LowerChar(char16_t c);
std::u16string Upper(std::u16string_view text);
std::u16string Lower(std::u16string_view text);

}  // namespace corvella::script
