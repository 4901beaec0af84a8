// Text streams of scripts: files read whole and decoded, or collected and written all at once.

#include "corvella/host/text_stream.h"

#include <algorithm>
#include <array>

#include "corvella/platform/error.h"
#include "corvella/platform/file_system.h"
#include "member_table.h"
#include "text_codec.h"

namespace corvella::host {

namespace {

using detail::kGet;
using detail::kMethod;
using platform::CallArgs;
using platform::DispId;
using platform::InvokeKind;
using platform::ParamInfo;
using platform::ParamType;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;
using Member = detail::Member<TextStream>;

// The file's bytes, refused before they are read when there are more than a stream may hold.
platform::ByteArray ReadLimited(platform::FileSystem& files, std::u16string_view path) {
  platform::FileInfo info = files.GetFile(path);
  if (static_cast<uint64_t>(info.Size) > kMaxScriptFileBytes) {
    Raise(RuntimeError::OutOfMemory, "the file is larger than a script may load");
  }
  return files.ReadAll(path);
}

bool StartsWithUtf16Mark(std::span<const uint8_t> bytes) {
  return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
}

constexpr ParamInfo kCount[] = {{"Characters", ParamType::I4, platform::kIn}};
constexpr ParamInfo kLines[] = {{"Lines", ParamType::I4, platform::kIn}};
constexpr ParamInfo kText[] = {{"Text", ParamType::BStr, platform::kIn}};
constexpr ParamInfo kOptionalText[] = {
    {"Text", ParamType::BStr, platform::kIn | platform::kOptional}};

const std::array<Member, 13> kMembers = {{
    {{0, "Line", kGet, 10000, {}, ParamType::I4},
     [](TextStream& t, CallArgs&) { return Variant(t.Line()); }},
    {{1, "Column", kGet, 10001, {}, ParamType::I4},
     [](TextStream& t, CallArgs&) { return Variant(t.Column()); }},
    {{2, "AtEndOfStream", kGet, 10002, {}, ParamType::Bool},
     [](TextStream& t, CallArgs&) { return Variant::Bool(t.AtEndOfStream()); }},
    {{3, "AtEndOfLine", kGet, 10003, {}, ParamType::Bool},
     [](TextStream& t, CallArgs&) { return Variant::Bool(t.AtEndOfLine()); }},
    {{4, "Read", kMethod, 10004, kCount, ParamType::BStr},
     [](TextStream& t, CallArgs& a) { return Variant(t.Read(a.I4(0))); }},
    {{5, "ReadLine", kMethod, 10005, {}, ParamType::BStr},
     [](TextStream& t, CallArgs&) { return Variant(t.ReadLine()); }},
    {{6, "ReadAll", kMethod, 10006, {}, ParamType::BStr},
     [](TextStream& t, CallArgs&) { return Variant(t.ReadAll()); }},
    {{7, "Write", kMethod, 10007, kText, ParamType::None},
     [](TextStream& t, CallArgs& a) {
       t.Write(a.BStr(0));
       return Variant();
     }},
    {{8, "WriteLine", kMethod, 10008, kOptionalText, ParamType::None},
     [](TextStream& t, CallArgs& a) {
       if (!a.Var(0).IsMissing()) t.Write(a.BStr(0));
       t.Write(u"\r\n");
       return Variant();
     }},
    {{9, "WriteBlankLines", kMethod, 10009, kLines, ParamType::None},
     [](TextStream& t, CallArgs& a) {
       t.WriteBlankLines(a.I4(0));
       return Variant();
     }},
    {{10, "Skip", kMethod, 10010, kCount, ParamType::None},
     [](TextStream& t, CallArgs& a) {
       t.Skip(a.I4(0));
       return Variant();
     }},
    {{11, "SkipLine", kMethod, 10011, {}, ParamType::None},
     [](TextStream& t, CallArgs&) {
       t.SkipLine();
       return Variant();
     }},
    {{12, "Close", kMethod, 10012, {}, ParamType::None},
     [](TextStream& t, CallArgs&) {
       t.Close();
       return Variant();
     }},
}};

}  // namespace

TextStream::TextStream(std::u16string path, IoMode mode, bool unicode)
    : path_(std::move(path)), mode_(mode), unicode_(unicode) {
}

TextStream::Format TextStream::FormatOf(int32_t tristate) {
  switch (tristate) {
    case 0:
      return Format::Ascii;
    case -1:
      return Format::Unicode;
    case -2:
      return Format::Default;
    default:
      Raise(RuntimeError::InvalidProcedureCall, "format");
  }
}

std::shared_ptr<TextStream> TextStream::Open(std::u16string_view path, IoMode mode, bool create,
                                             Format format) {
  auto files = platform::CreateFileSystem();
  const bool exists = files->FileExists(path);
  if (!exists && (mode == IoMode::Reading || !create)) {
    // The service names the reason: no file (53), no folder (76), a folder given (75).
    files->GetFile(path);
    Raise(RuntimeError::FileNotFound);
  }
  platform::ByteArray bytes;
  if (exists && mode != IoMode::Writing) bytes = ReadLimited(*files, path);
  bool unicode = format == Format::Unicode ||
                 (format == Format::Default && StartsWithUtf16Mark(bytes.Bytes()));
  std::shared_ptr<TextStream> stream(new TextStream(std::u16string(path), mode, unicode));
  if (mode == IoMode::Reading) {
    std::span<const uint8_t> content = bytes.Bytes();
    if (unicode) {
      if (StartsWithUtf16Mark(content)) content = content.subspan(2);
      stream->text_ = text::DecodeUtf16(content);
    } else {
      stream->text_ = text::DecodeSystemText(content);
    }
    return stream;
  }
  stream->output_.assign(bytes.Bytes().begin(), bytes.Bytes().end());
  if (unicode && stream->output_.empty()) stream->output_ = {0xFF, 0xFE};
  // The file exists (and a file for writing is empty) from the moment it is opened, so that a
  // missing folder or a refusal is reported by the call that opened it.
  if (mode == IoMode::Writing || !exists) files->WriteFileAtomically(path, stream->output_);
  return stream;
}

TextStream::~TextStream() {
  try {
    Close();
  } catch (...) {
    // A stream released without Close has no caller to tell of a failed write.
  }
}

void TextStream::RequireReading() {
  if (closed_ || mode_ != IoMode::Reading) Raise(RuntimeError::BadFileMode);
}

void TextStream::RequireWriting() {
  if (closed_ || mode_ == IoMode::Reading) Raise(RuntimeError::BadFileMode);
}

void TextStream::Advance(size_t count) {
  size_t end = std::min(text_.size(), position_ + count);
  for (; position_ < end; ++position_) {
    if (text_[position_] == u'\n') {
      ++line_;
      column_ = 1;
    } else {
      ++column_;
    }
  }
}

std::u16string TextStream::Read(int32_t count) {
  RequireReading();
  if (count < 0) Raise(RuntimeError::InvalidProcedureCall, "Read");
  if (position_ >= text_.size() && count > 0) Raise(RuntimeError::InputPastEndOfFile);
  std::u16string piece = text_.substr(position_, static_cast<size_t>(count));
  Advance(piece.size());
  return piece;
}

std::u16string TextStream::ReadLine() {
  RequireReading();
  if (position_ >= text_.size()) Raise(RuntimeError::InputPastEndOfFile);
  size_t newline = text_.find(u'\n', position_);
  size_t end = newline == std::u16string::npos ? text_.size() : newline;
  size_t lineEnd = end > position_ && text_[end - 1] == u'\r' ? end - 1 : end;
  std::u16string line = text_.substr(position_, lineEnd - position_);
  Advance(end - position_ + (newline == std::u16string::npos ? 0 : 1));
  return line;
}

std::u16string TextStream::ReadAll() {
  RequireReading();
  if (position_ >= text_.size()) Raise(RuntimeError::InputPastEndOfFile);
  std::u16string rest = text_.substr(position_);
  Advance(rest.size());
  return rest;
}

void TextStream::Skip(int32_t count) {
  RequireReading();
  if (count < 0) Raise(RuntimeError::InvalidProcedureCall, "Skip");
  if (position_ >= text_.size() && count > 0) Raise(RuntimeError::InputPastEndOfFile);
  Advance(static_cast<size_t>(count));
}

void TextStream::SkipLine() {
  ReadLine();
}

bool TextStream::AtEndOfStream() {
  RequireReading();
  return position_ >= text_.size();
}

bool TextStream::AtEndOfLine() {
  RequireReading();
  return position_ >= text_.size() || text_[position_] == u'\n' || text_[position_] == u'\r';
}

void TextStream::Write(std::u16string_view text) {
  RequireWriting();
  std::vector<uint8_t> encoded;
  if (unicode_) {
    text::EncodeUtf16(text, encoded);
  } else if (!text::EncodeUtf8(text, encoded)) {
    Raise(RuntimeError::InvalidProcedureCall, "a character that the file's encoding cannot hold");
  }
  if (output_.size() + encoded.size() > kMaxScriptFileBytes) {
    Raise(RuntimeError::OutOfMemory, "the text is larger than a script may write");
  }
  output_.insert(output_.end(), encoded.begin(), encoded.end());
  for (char16_t c : text) {
    if (c == u'\n') {
      ++line_;
      column_ = 1;
    } else {
      ++column_;
    }
  }
}

void TextStream::WriteBlankLines(int32_t count) {
  RequireWriting();
  if (count < 0) Raise(RuntimeError::InvalidProcedureCall, "WriteBlankLines");
  for (int32_t k = 0; k < count; ++k)
    Write(u"\r\n");
}

void TextStream::Close() {
  if (closed_) return;
  closed_ = true;
  if (mode_ == IoMode::Reading) {
    text_.clear();
    text_.shrink_to_fit();
    return;
  }
  std::vector<uint8_t> bytes = std::move(output_);
  platform::CreateFileSystem()->WriteFileAtomically(path_, bytes);
}

platform::DispId TextStream::GetIdOfName(std::u16string_view name) const {
  return detail::FindId(kMembers, name);
}

Variant TextStream::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  return detail::Dispatch(*this, kMembers, id, kind, args);
}

}  // namespace corvella::host
