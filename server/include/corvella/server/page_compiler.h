#pragma once
/// @file
/// The page compiler: turns the text of an .asp page (literal HTML, <% code %>, <%= expression %>,
/// the <%@ %> directive, server-side includes and <script runat="server"> blocks) into one
/// VBScript program, and global.asa into the program of its event procedures.
///
/// Literal text is not copied into the script: each run of it becomes `Response.WriteBlock N`,
/// and the page keeps the texts in a table. Every line of the generated script remembers the
/// file and line (and the column shift) of the page text it came from, so that an error is
/// reported at the page's own position, in an included file where it arose there.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "corvella/script/engine.h"

namespace corvella::server {

/// Where a line of the generated script came from.
struct LineOrigin {
  uint32_t file = 0;    ///< index into TranslatedPage::files
  int line = 0;         ///< the line in that file, from 1
  int columnShift = 0;  ///< page column = script column + columnShift
  /// The least page column of the line's text: an error that the engine places on the words
  /// the compiler added (the "Response.Write" of <%= x %>) is placed at the page's own text.
  int firstColumn = 1;
};

/// An error of the page at its own place: the virtual path of the file, and the script error
/// with the line and column in that file.
struct PageError {
  std::string file;
  script::ScriptError error;
};

/// What a loader answers for a virtual path: the file's bytes and its physical path.
struct LoadedFile {
  std::vector<uint8_t> bytes;
  std::filesystem::path physicalPath;
};

/// Reads a file of the site by its normalised virtual path ("/inc/header.inc"); nullopt when
/// there is no such file (or it may not be read).
using FileLoader = std::function<std::optional<LoadedFile>(const std::string& virtualPath)>;

/// An .asp page (or global.asa) translated to script text.
struct TranslatedPage {
  std::u16string script;
  /// Literal texts, by the index that Response.WriteBlock takes.
  std::vector<std::u16string> blocks;
  /// Virtual paths of the page ([0]) and of the files it includes.
  std::vector<std::string> files;
  /// Physical paths of the same files, so that a cache can notice that one changed.
  std::vector<std::filesystem::path> physicalFiles;
  /// The origin of every script line (index: line - 1).
  std::vector<LineOrigin> lines;
  /// The code page of the page's text and output: 65001 (UTF-8) or 1252.
  int codePage = 65001;
  /// False when the directive says ENABLESESSIONSTATE=False.
  bool sessionState = true;
};

/// Translates the page at @p virtualPath. Throws PageError for a missing include, an include
/// cycle, includes nested too deep, an unclosed <% or an unknown directive.
TranslatedPage TranslatePage(const std::string& virtualPath, const FileLoader& load);

/// Translates global.asa: the code of its <script runat="server"> blocks; the rest of the file
/// is ignored, as <object> declarations are not supported.
TranslatedPage TranslateGlobalAsa(const std::string& virtualPath, const FileLoader& load);

/// Maps an error of the generated script back to its page position.
PageError MapError(const TranslatedPage& page, const script::ScriptError& error);

/// The virtual folder of @p virtualPath joined with @p relative ("a.inc", "../x.inc", "/y.inc"),
/// normalised; nullopt when it would leave the site root or holds a NUL or backslash.
std::optional<std::string> JoinVirtualPath(const std::string& virtualPath,
                                           const std::string& relative);

/// A compiled page: its program and what the host needs to run it.
struct CompiledPage {
  TranslatedPage page;
  std::shared_ptr<const script::Program> program;
};

/// Translates and compiles; throws PageError for a translation or syntax error.
std::shared_ptr<const CompiledPage> CompilePage(const std::string& virtualPath,
                                                const FileLoader& load, bool globalAsa = false);

}  // namespace corvella::server
