// The page compiler: .asp text and global.asa to one VBScript program with a line map.

#include "corvella/server/page_compiler.h"

#include <algorithm>

#include "corvella/platform/text.h"
#include "text_codec.h"

namespace corvella::server {

namespace text = host::text;

namespace {

using platform::Utf8ToWide;
using platform::WideToUtf8;

// Errors of the page as such (not of its script) carry the number and source that pages of a
// classic server report.
constexpr int32_t kPageErrorNumber = static_cast<int32_t>(0x80004005u);
constexpr std::string_view kPageErrorSource = "Active Server Pages";
// Includes nested deeper than this are taken for a runaway chain.
constexpr int kMaxIncludeDepth = 32;

[[noreturn]] void Fail(const std::string& file, int line, int column, std::string description) {
  PageError failure;
  failure.file = file;
  failure.error.number = kPageErrorNumber;
  failure.error.source = std::string(kPageErrorSource);
  failure.error.description = std::move(description);
  failure.error.position = {line, column};
  failure.error.compilation = true;
  throw failure;
}

char16_t Lower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

// True when @p text holds @p word (lower-case ASCII) at @p at, compared without case.
bool StartsWithNoCase(std::u16string_view text, size_t at, std::string_view word) {
  if (at + word.size() > text.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Lower(text[at + i]) != static_cast<char16_t>(word[i])) return false;
  }
  return true;
}

size_t FindNoCase(std::u16string_view text, size_t from, std::string_view word) {
  for (size_t i = from; i + word.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text, i, word)) return i;
  }
  return std::u16string_view::npos;
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::string Upper(std::u16string_view text) {
  std::string result = WideToUtf8(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return result;
}

// The attributes of a tag or directive: name=value pairs, values quoted or bare.
std::vector<std::pair<std::string, std::u16string>> ParseAttributes(std::u16string_view text) {
  std::vector<std::pair<std::string, std::u16string>> attributes;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i]))
      ++i;
    size_t nameStart = i;
    while (i < text.size() && !IsBlank(text[i]) && text[i] != u'=')
      ++i;
    if (i == nameStart) break;
    std::string name = Upper(text.substr(nameStart, i - nameStart));
    while (i < text.size() && IsBlank(text[i]))
      ++i;
    std::u16string value;
    if (i < text.size() && text[i] == u'=') {
      ++i;
      while (i < text.size() && IsBlank(text[i]))
        ++i;
      if (i < text.size() && (text[i] == u'"' || text[i] == u'\'')) {
        char16_t quote = text[i++];
        size_t end = text.find(quote, i);
        if (end == std::u16string_view::npos) end = text.size();
        value = text.substr(i, end - i);
        i = std::min(text.size(), end + 1);
      } else {
        size_t start = i;
        while (i < text.size() && !IsBlank(text[i]))
          ++i;
        value = text.substr(start, i - start);
      }
    }
    attributes.emplace_back(std::move(name), std::move(value));
  }
  return attributes;
}

std::u16string DecodeText(const std::vector<uint8_t>& bytes, int codePage) {
  if (codePage == 1252) return text::DecodeWindows1252(bytes);
  return script::DecodeScriptText(bytes);
}

// The code page that a page's directive names, read from its raw bytes (the directive is ASCII).
int DirectiveCodePage(const std::vector<uint8_t>& bytes) {
  std::u16string head = text::DecodeWindows1252(
      std::span<const uint8_t>(bytes).first(std::min<size_t>(bytes.size(), 512)));
  size_t open = head.find(u"<%@");
  size_t close = open == std::u16string::npos ? open : head.find(u"%>", open);
  if (close == std::u16string::npos) return 65001;
  for (const auto& [name, value] : ParseAttributes(head.substr(open + 3, close - open - 3))) {
    if (name == "CODEPAGE" && value == u"1252") return 1252;
  }
  return 65001;
}

class Translator {
 public:
  Translator(const FileLoader& load, bool globalAsa) : load_(load), globalAsa_(globalAsa) {}

  TranslatedPage Run(const std::string& virtualPath) {
    std::optional<LoadedFile> file = load_(virtualPath);
    if (!file) Fail(virtualPath, 0, 0, "The page '" + virtualPath + "' was not found");
    page_.codePage = DirectiveCodePage(file->bytes);
    Translate(virtualPath, std::move(*file), 0);
    return std::move(page_);
  }

 private:
  struct Source {
    uint32_t index;
    std::string path;
    std::u16string text;
    std::vector<size_t> lineStarts;
  };

  // Line and column (from 1) of an offset into a file's text.
  static std::pair<int, int> Place(const Source& source, size_t offset) {
    auto it = std::upper_bound(source.lineStarts.begin(), source.lineStarts.end(), offset);
    size_t line = static_cast<size_t>(it - source.lineStarts.begin());
    return {static_cast<int>(line), static_cast<int>(offset - source.lineStarts[line - 1] + 1)};
  }

  [[noreturn]] void FailAt(const Source& source, size_t offset, std::string description) {
    auto [line, column] = Place(source, offset);
    Fail(source.path, line, column, std::move(description));
  }

  // Starts a new script line that comes from @p offset of @p source, its text at script column
  // @p scriptColumn.
  void NewLine(const Source& source, size_t offset, int scriptColumn) {
    if (!page_.lines.empty()) page_.script += u'\n';
    auto [line, column] = Place(source, offset);
    page_.lines.push_back({source.index, line, column - scriptColumn, column});
  }

  // Emits code text (which may span lines) as script lines, after @p prefix on the first one.
  void EmitCode(const Source& source, size_t begin, size_t end, std::u16string_view prefix = {},
                std::u16string_view suffix = {}) {
    NewLine(source, begin, static_cast<int>(prefix.size()) + 1);
    if (!prefix.empty()) {
      size_t first = begin;
      while (first < end && IsBlank(source.text[first]))
        ++first;
      page_.lines.back().firstColumn = Place(source, first).second;
    }
    page_.script += prefix;
    for (size_t i = begin; i < end; ++i) {
      char16_t c = source.text[i];
      if (c == u'\n') {
        NewLine(source, i + 1, 1);
      } else if (c != u'\r') {
        page_.script += c;
      }
    }
    page_.script += suffix;
  }

  void EmitLiteral(const Source& source, size_t begin, size_t end) {
    if (begin >= end || globalAsa_) return;
    NewLine(source, begin, 1);
    page_.script += u"Response.WriteBlock " + Utf8ToWide(std::to_string(page_.blocks.size()));
    page_.blocks.emplace_back(source.text.substr(begin, end - begin));
  }

  void Translate(const std::string& path, LoadedFile file, int depth) {
    if (std::find(stack_.begin(), stack_.end(), path) != stack_.end()) {
      Fail(stack_.back(), includeLine_, 0,
           "The include file '" + path + "' includes itself (an include cycle)");
    }
    if (depth > kMaxIncludeDepth) {
      Fail(path, 0, 0, "Includes are nested more than 32 deep");
    }
    Source source;
    source.index = static_cast<uint32_t>(page_.files.size());
    source.path = path;
    source.text = DecodeText(file.bytes, page_.codePage);
    source.lineStarts.push_back(0);
    for (size_t i = 0; i < source.text.size(); ++i) {
      if (source.text[i] == u'\n') source.lineStarts.push_back(i + 1);
    }
    page_.files.push_back(path);
    page_.physicalFiles.push_back(file.physicalPath);
    stack_.push_back(path);
    Scan(source, depth);
    stack_.pop_back();
  }

  void Scan(const Source& source, int depth) {
    const std::u16string& text = source.text;
    size_t literal = 0;
    size_t i = 0;
    while (i < text.size()) {
      if (text[i] != u'<') {
        ++i;
        continue;
      }
      if (!globalAsa_ && StartsWithNoCase(text, i, "<%")) {
        EmitLiteral(source, literal, i);
        size_t close = text.find(u"%>", i + 2);
        if (close == std::u16string::npos) {
          FailAt(source, i, "Missing close of script delimiter: the block lacks its '%>'");
        }
        if (text[i + 2] == u'@') {
          Directive(source, i, close, depth);
        } else if (text[i + 2] == u'=') {
          EmitCode(source, i + 3, close, u"Response.Write (", u")");
        } else {
          EmitCode(source, i + 2, close);
        }
        sawCode_ = true;
        i = literal = close + 2;
      } else if (StartsWithNoCase(text, i, "<!--#include")) {
        EmitLiteral(source, literal, i);
        i = literal = Include(source, i, depth);
      } else if (StartsWithNoCase(text, i, "<script") && i + 7 < text.size() &&
                 (IsBlank(text[i + 7]) || text[i + 7] == u'>')) {
        size_t tagEnd = text.find(u'>', i);
        if (tagEnd == std::u16string::npos) break;
        bool server = false;
        for (const auto& [name, value] : ParseAttributes(text.substr(i + 7, tagEnd - i - 7))) {
          if (name == "RUNAT" && Upper(value) == "SERVER") server = true;
          if (name == "LANGUAGE" && Upper(value) != "VBSCRIPT") {
            if (server) FailAt(source, i, "Only VBScript runs on the server");
          }
        }
        if (!server) {
          i = tagEnd + 1;
          continue;
        }
        EmitLiteral(source, literal, i);
        size_t close = FindNoCase(text, tagEnd + 1, "</script>");
        if (close == std::u16string::npos)
          FailAt(source, i, "The <script> block lacks its </script>");
        EmitCode(source, tagEnd + 1, close);
        i = literal = close + 9;
      } else {
        ++i;
      }
    }
    EmitLiteral(source, literal, text.size());
  }

  void Directive(const Source& source, size_t at, size_t close, int depth) {
    if (depth > 0 || sawCode_) {
      FailAt(source, at, "The @ directive must come first in the page, before any script");
    }
    for (const auto& [name, value] :
         ParseAttributes(std::u16string_view(source.text).substr(at + 3, close - at - 3))) {
      std::string upper = Upper(value);
      if (name == "LANGUAGE") {
        if (upper != "VBSCRIPT")
          FailAt(source, at,
                 "The scripting language '" + WideToUtf8(value) +
                     "' is not supported; pages use VBScript");
      } else if (name == "CODEPAGE") {
        if (upper != "65001" && upper != "1252") {
          FailAt(source, at,
                 "The code page " + WideToUtf8(value) + " is not supported (65001, 1252)");
        }
      } else if (name == "ENABLESESSIONSTATE") {
        page_.sessionState = upper != "FALSE";
      } else if (name != "LCID" && name != "TRANSACTION") {
        FailAt(source, at, "The @ directive has an unknown attribute '" + name + "'");
      }
    }
  }

  // <!--#include file="..."--> or virtual="...": translates the file in place; answers the
  // offset after the directive.
  size_t Include(const Source& source, size_t at, int depth) {
    const std::u16string& text = source.text;
    size_t end = text.find(u"-->", at);
    if (end == std::u16string::npos) FailAt(source, at, "The include directive lacks its '-->'");
    auto attributes = ParseAttributes(std::u16string_view(text).substr(at + 12, end - at - 12));
    if (attributes.size() != 1 ||
        (attributes[0].first != "FILE" && attributes[0].first != "VIRTUAL")) {
      FailAt(source, at, "An include directive names one file=\"...\" or virtual=\"...\"");
    }
    std::string name = WideToUtf8(attributes[0].second);
    std::optional<std::string> target;
    if (attributes[0].first == "VIRTUAL" && !name.empty() && name[0] != '/') {
      target = JoinVirtualPath("/", name);
    } else {
      target = JoinVirtualPath(source.path, name);
    }
    if (!target) FailAt(source, at, "The include file '" + name + "' is outside the site");
    auto [line, column] = Place(source, at);
    includeLine_ = line;
    if (std::find(stack_.begin(), stack_.end(), *target) != stack_.end()) {
      FailAt(source, at, "The include file '" + name + "' includes itself (an include cycle)");
    }
    std::optional<LoadedFile> file = load_(*target);
    if (!file) FailAt(source, at, "The include file '" + name + "' was not found");
    Translate(*target, std::move(*file), depth + 1);
    return end + 3;
  }

  const FileLoader& load_;
  bool globalAsa_;
  bool sawCode_ = false;
  int includeLine_ = 0;
  std::vector<std::string> stack_;
  TranslatedPage page_;
};

}  // namespace

std::optional<std::string> JoinVirtualPath(const std::string& virtualPath,
                                           const std::string& relative) {
  if (relative.find('\0') != std::string::npos || relative.find('\\') != std::string::npos) {
    return std::nullopt;
  }
  std::vector<std::string> segments;
  auto apply = [&](std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find('/', start);
      if (end == std::string_view::npos) end = path.size();
      std::string_view segment = path.substr(start, end - start);
      start = end + 1;
      if (segment.empty() || segment == ".") continue;
      if (segment == "..") {
        if (segments.empty()) return false;
        segments.pop_back();
      } else {
        segments.emplace_back(segment);
      }
    }
    return true;
  };
  if (relative.empty() || relative[0] != '/') {
    std::string folder = virtualPath.substr(0, virtualPath.rfind('/') + 1);
    if (!apply(folder)) return std::nullopt;
  }
  if (!apply(relative)) return std::nullopt;
  std::string joined;
  for (const std::string& segment : segments)
    joined += "/" + segment;
  return joined.empty() ? "/" : joined;
}

TranslatedPage TranslatePage(const std::string& virtualPath, const FileLoader& load) {
  return Translator(load, false).Run(virtualPath);
}

TranslatedPage TranslateGlobalAsa(const std::string& virtualPath, const FileLoader& load) {
  return Translator(load, true).Run(virtualPath);
}

PageError MapError(const TranslatedPage& page, const script::ScriptError& error) {
  PageError mapped;
  mapped.error = error;
  mapped.file = page.files.empty() ? std::string() : page.files[0];
  const int line = error.position.line;
  if (line >= 1 && static_cast<size_t>(line) <= page.lines.size()) {
    const LineOrigin& origin = page.lines[static_cast<size_t>(line) - 1];
    mapped.file = page.files[origin.file];
    mapped.error.position.line = origin.line;
    mapped.error.position.column =
        std::max(origin.firstColumn, error.position.column + origin.columnShift);
  }
  return mapped;
}

std::shared_ptr<const CompiledPage> CompilePage(const std::string& virtualPath,
                                                const FileLoader& load, bool globalAsa) {
  auto compiled = std::make_shared<CompiledPage>();
  compiled->page =
      globalAsa ? TranslateGlobalAsa(virtualPath, load) : TranslatePage(virtualPath, load);
  script::CompileResult result = script::Compile(compiled->page.script);
  if (!result.program) throw MapError(compiled->page, *result.error);
  compiled->program = std::move(result.program);
  return compiled;
}

}  // namespace corvella::server
