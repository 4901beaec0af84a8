#pragma once
// The errors that the page objects raise themselves, with their numbers, sources and texts in one
// table.

#include <string_view>

namespace corvella::server {

enum class PageObjectError {
  BinaryReadAfterForm,  // Request: BinaryRead after Request.Form
  FormAfterBinaryRead,  // Request: Form after BinaryRead
  HeadersWritten,       // Response: Redirect or a cookie after unbuffered output started
  BadRedirect,          // Response: a Redirect target with a line break
  BadCookie,            // Response: a cookie name that is not a token, an attribute with ';'
  PageNotFound,         // Server: Execute or Transfer of a page that is not there
  ExecuteNotAsp,        // Server: Execute or Transfer of a file that is not a page
  ExecuteTooDeep,       // Server: Execute nested too deep
  BadScriptTimeout,     // Server: ScriptTimeout out of range
};

/// Raises the error as platform::Error: number 0x80004005, the object's name as the source.
[[noreturn]] void Raise(PageObjectError error, std::string_view detail = {});

}  // namespace corvella::server
