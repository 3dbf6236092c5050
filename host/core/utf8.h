#pragma once
// UTF-8 helpers: field sizes and box lengths count characters, not bytes.
#include <cstddef>
#include <string>
#include <string_view>

namespace ger::utf8 {

// Number of code points (a malformed byte counts as one character).
std::size_t Length(std::string_view s);
// The first n characters.
std::string_view Left(std::string_view s, std::size_t n);
// Characters [pos, pos + n).
std::string Mid(std::string_view s, std::size_t pos, std::size_t n = std::string::npos);
// Decodes the code points; appends one.
std::u32string Decode(std::string_view s);
std::string Encode(std::u32string_view s);
void Append(std::string& out, char32_t cp);
// Byte offset of character index i (s.size() when i is past the end).
std::size_t Offset(std::string_view s, std::size_t i);

// Texts stored by older programs are Windows-1252: a byte that is not part of a well-formed UTF-8
// sequence is read as the Windows-1252 character of that byte, here and in every routine above.
char32_t LegacyChar(unsigned char b);
bool IsWellFormed(std::string_view s);
// The bytes of the well-formed character at s[pos] (1 for ASCII); 0 when the byte there starts no
// well-formed sequence (an overlong form, a surrogate, a value past U+10FFFF, a cut sequence) and
// is read as Windows-1252. The one rule of well-formed UTF-8: the JSON writer uses it too.
std::size_t WellFormedLength(std::string_view s, std::size_t pos);
// The text as well-formed UTF-8, each such byte turned into its character.
std::string FromLegacy(std::string_view s);

// Upper/lower case of Latin letters including the Portuguese accented ones (á→Á, ç→Ç).
char32_t ToUpper(char32_t c);
char32_t ToLower(char32_t c);
std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);
// The project's case-insensitive comparison (names of components, fields, parameters, headers;
// texts a user looks for): letters compare without case, the Portuguese accented ones included
// (ç = Ç), accents still count (a ≠ á). A malformed byte equals only the same byte.
bool SameText(std::string_view a, std::string_view b);
// Case- and accent-insensitive comparison key ("São  Paulo " → "SAO  PAULO ").
std::string FoldKey(std::string_view s);

// Leading and trailing blanks (spaces, tabs, line breaks) removed.
std::string_view Trim(std::string_view s);

}  // namespace ger::utf8
