#pragma once
/// @file
/// The rules of HTTP header text that both the component (Download) and the page host
/// (Response) apply, so that no header can be smuggled in or split and a file name reaches the
/// browser as one parameter.

#include <string>
#include <string_view>

namespace corvella::platform {

/// True when @p text is a non-empty HTTP token: letters, digits and !#$%&'*+-.^_`|~ only.
bool IsHttpToken(std::u16string_view text);

/// True when @p text holds a control character that header text must not: U+0000..U+001F
/// except the horizontal tab, and U+007F.
bool HasHeaderControl(std::u16string_view text);

/// The file-name parameter of a Content-Disposition header for @p name:
///   filename=NAME                       when NAME is a token (ordinary names, unchanged);
///   filename="NAME"                     otherwise, with " and \ escaped by a backslash;
///   filename="N_ME"; filename*=UTF-8''N%C3%84ME
///                                       when NAME holds characters beyond ASCII: the quoted form
///                                       with each of them as "_", then the exact name
///                                       percent-encoded as UTF-8.
/// @p name must not hold control characters (HasHeaderControl).
std::u16string DispositionFileName(std::u16string_view name);

}  // namespace corvella::platform
