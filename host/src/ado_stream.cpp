// The stream object of pages: a buffer of bytes with a position, read and written as bytes or as
// text in a character set, loaded from and saved to files through the platform's service.

#include "corvella/host/ado_stream.h"

#include <algorithm>
#include <array>

#include "corvella/host/text_stream.h"
#include "corvella/platform/error.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"
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
using platform::RuntimeError;
using platform::Variant;
using Member = detail::Member<AdoStream>;

constexpr std::string_view kSource = "ADODB.Stream";
constexpr InvokeKind kLet = InvokeKind::PropertyPut;

// The stream's errors carry their standard text alone, as scripts compare it.
[[noreturn]] void Fail(RuntimeError error) {
  platform::RaiseFrom(kSource, error);
}

constexpr uint8_t kUtf16Mark[] = {0xFF, 0xFE};
constexpr uint8_t kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

int32_t OptionalI4(CallArgs& a, size_t i, int32_t fallback) {
  return a.Var(i).IsMissing() ? fallback : a.I4(i);
}

constexpr ParamInfo kValue[] = {{"value", ParamType::Variant, platform::kIn}};
constexpr ParamInfo kOpen[] = {{"Source", ParamType::Variant, platform::kIn | platform::kOptional},
                               {"Mode", ParamType::I4, platform::kIn | platform::kOptional},
                               {"Options", ParamType::I4, platform::kIn | platform::kOptional},
                               {"UserName", ParamType::BStr, platform::kIn | platform::kOptional},
                               {"Password", ParamType::BStr, platform::kIn | platform::kOptional}};
constexpr ParamInfo kCount[] = {{"NumBytes", ParamType::I4, platform::kIn | platform::kOptional}};
constexpr ParamInfo kBuffer[] = {{"Buffer", ParamType::Variant, platform::kIn}};
constexpr ParamInfo kWriteText[] = {
    {"Data", ParamType::BStr, platform::kIn},
    {"Options", ParamType::I4, platform::kIn | platform::kOptional}};
constexpr ParamInfo kFile[] = {{"FileName", ParamType::BStr, platform::kIn}};
constexpr ParamInfo kSave[] = {{"FileName", ParamType::BStr, platform::kIn},
                               {"Options", ParamType::I4, platform::kIn | platform::kOptional}};
constexpr ParamInfo kCopyTo[] = {
    {"DestStream", ParamType::Object, platform::kIn},
    {"CharNumber", ParamType::I4, platform::kIn | platform::kOptional}};

Variant Done() {
  return Variant();
}

const std::array<Member, 28> kMembers = {{
    {{0, "Type", kGet, 1, {}, ParamType::I4},
     [](AdoStream& s, CallArgs&) { return Variant(s.Type()); }},
    {{1, "Type", kLet, 1, kValue, ParamType::None},
     [](AdoStream& s, CallArgs& a) { return s.SetType(a.Var(0).ToI4()), Done(); }},
    {{2, "Charset", kGet, 2, {}, ParamType::BStr},
     [](AdoStream& s, CallArgs&) { return Variant(s.CharsetName()); }},
    {{3, "Charset", kLet, 2, kValue, ParamType::None},
     [](AdoStream& s, CallArgs& a) { return s.SetCharset(a.Var(0).ToBStr()), Done(); }},
    {{4, "LineSeparator", kGet, 3, {}, ParamType::I4},
     [](AdoStream& s, CallArgs&) { return Variant(s.LineSeparator()); }},
    {{5, "LineSeparator", kLet, 3, kValue, ParamType::None},
     [](AdoStream& s, CallArgs& a) { return s.SetLineSeparator(a.Var(0).ToI4()), Done(); }},
    {{6, "Position", kGet, 4, {}, ParamType::I4},
     [](AdoStream& s, CallArgs&) { return Variant(static_cast<int32_t>(s.Position())); }},
    {{7, "Position", kLet, 4, kValue, ParamType::None},
     [](AdoStream& s, CallArgs& a) { return s.SetPosition(a.Var(0).ToR8()), Done(); }},
    {{8, "Size", kGet, 5, {}, ParamType::I4},
     [](AdoStream& s, CallArgs&) { return Variant(static_cast<int32_t>(s.Size())); }},
    {{9, "EOS", kGet, 6, {}, ParamType::Bool},
     [](AdoStream& s, CallArgs&) { return Variant::Bool(s.AtEnd()); }},
    {{10, "State", kGet, 7, {}, ParamType::I4},
     [](AdoStream& s, CallArgs&) { return Variant(int32_t{s.IsOpen() ? 1 : 0}); }},
    {{11, "Mode", kGet, 8, {}, ParamType::I4},
     [](AdoStream& s, CallArgs&) { return Variant(s.Mode()); }},
    {{12, "Mode", kLet, 8, kValue, ParamType::None},
     [](AdoStream& s, CallArgs& a) { return s.SetMode(a.Var(0).ToI4()), Done(); }},
    {{13, "Open", kMethod, 9, kOpen, ParamType::None},
     [](AdoStream& s, CallArgs& a) { return s.Open(a.Var(0), OptionalI4(a, 1, 0)), Done(); }},
    {{14, "Close", kMethod, 10, {}, ParamType::None},
     [](AdoStream& s, CallArgs&) { return s.Close(), Done(); }},
    {{15, "Read", kMethod, 11, kCount, ParamType::Variant},
     [](AdoStream& s, CallArgs& a) { return s.Read(OptionalI4(a, 0, -1)); }},
    {{16, "Write", kMethod, 12, kBuffer, ParamType::None},
     [](AdoStream& s, CallArgs& a) { return s.Write(a.Var(0)), Done(); }},
    {{17, "ReadText", kMethod, 13, kCount, ParamType::BStr},
     [](AdoStream& s, CallArgs& a) { return Variant(s.ReadText(OptionalI4(a, 0, -1))); }},
    {{18, "WriteText", kMethod, 14, kWriteText, ParamType::None},
     [](AdoStream& s, CallArgs& a) { return s.WriteText(a.BStr(0), OptionalI4(a, 1, 0)), Done(); }},
    {{19, "SkipLine", kMethod, 15, {}, ParamType::None},
     [](AdoStream& s, CallArgs&) { return s.SkipLine(), Done(); }},
    {{20, "SetEOS", kMethod, 16, {}, ParamType::None},
     [](AdoStream& s, CallArgs&) { return s.SetEOS(), Done(); }},
    {{21, "LoadFromFile", kMethod, 17, kFile, ParamType::None},
     [](AdoStream& s, CallArgs& a) { return s.LoadFromFile(a.BStr(0)), Done(); }},
    {{22, "SaveToFile", kMethod, 18, kSave, ParamType::None},
     [](AdoStream& s, CallArgs& a) {
       return s.SaveToFile(a.BStr(0), OptionalI4(a, 1, 1)), Done();
     }},
    {{23, "CopyTo", kMethod, 19, kCopyTo, ParamType::None},
     [](AdoStream& s, CallArgs& a) {
       auto* destination = dynamic_cast<AdoStream*>(a.Object(0).get());
       if (destination == nullptr) Fail(RuntimeError::AdoInvalidArgument);
       return s.CopyTo(*destination, OptionalI4(a, 1, -1)), Done();
     }},
    {{24, "Flush", kMethod, 20, {}, ParamType::None},
     [](AdoStream& s, CallArgs&) { return s.Flush(), Done(); }},
    {{25, "Cancel", kMethod, 21, {}, ParamType::None},
     [](AdoStream&, CallArgs&) { return Done(); }},
    {{26, "Size", kLet, 5, kValue, ParamType::None},
     [](AdoStream&, CallArgs&) -> Variant { Fail(RuntimeError::AdoIllegalOperation); }},
    {{27, "EOS", kLet, 6, kValue, ParamType::None},
     [](AdoStream&, CallArgs&) -> Variant { Fail(RuntimeError::AdoIllegalOperation); }},
}};

}  // namespace

platform::DispId AdoStream::GetIdOfName(std::u16string_view name) const {
  return detail::FindId(kMembers, name);
}

Variant AdoStream::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  return detail::Dispatch(*this, kMembers, id, kind, args);
}

void AdoStream::RequireOpen() const {
  if (!open_) Fail(RuntimeError::AdoObjectClosed);
}

void AdoStream::RequireText() {
  RequireOpen();
  if (type_ != 2) Fail(RuntimeError::AdoIllegalOperation);
}

void AdoStream::Open(const Variant& source, int32_t mode) {
  if (open_) Fail(RuntimeError::AdoObjectOpen);
  if (!source.IsMissing() && !source.IsEmpty() && !(source.IsString() && source.AsBStr().empty())) {
    Fail(RuntimeError::AdoFeatureNotAvailable);
  }
  if (mode < 0) Fail(RuntimeError::AdoInvalidArgument);
  mode_ = mode;
  open_ = true;
  data_.clear();
  position_ = 0;
}

void AdoStream::Close() {
  RequireOpen();
  open_ = false;
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void AdoStream::SetMode(int32_t mode) {
  if (open_) Fail(RuntimeError::AdoObjectOpen);
  if (mode < 0) Fail(RuntimeError::AdoInvalidArgument);
  mode_ = mode;
}

void AdoStream::SetType(int32_t type) {
  if (type != 1 && type != 2) Fail(RuntimeError::AdoInvalidArgument);
  if (open_ && position_ != 0) Fail(RuntimeError::AdoInvalidArgument);
  type_ = type;
}

void AdoStream::SetCharset(std::u16string_view name) {
  if (open_ && position_ != 0) Fail(RuntimeError::AdoInvalidArgument);
  std::u16string upper = platform::AsciiUpper(name);
  Charset charset;
  if (upper == u"UNICODE" || upper == u"UTF-16" || upper == u"UTF-16LE") {
    charset = Charset::Utf16;
  } else if (upper == u"UTF-8") {
    charset = Charset::Utf8;
  } else if (upper == u"US-ASCII" || upper == u"ASCII") {
    charset = Charset::Ascii;
  } else if (upper == u"WINDOWS-1252" || upper == u"ISO-8859-1" || upper == u"LATIN1") {
    charset = Charset::Windows1252;
  } else {
    Fail(RuntimeError::AdoInvalidArgument);
  }
  charset_ = charset;
  charsetName_ = std::u16string(name);
}

void AdoStream::SetLineSeparator(int32_t separator) {
  if (separator != -1 && separator != 10 && separator != 13) {
    Fail(RuntimeError::AdoInvalidArgument);
  }
  lineSeparator_ = separator;
}

int64_t AdoStream::Size() const {
  RequireOpen();
  return static_cast<int64_t>(data_.size());
}

int64_t AdoStream::Position() const {
  RequireOpen();
  return static_cast<int64_t>(position_);
}

bool AdoStream::AtEnd() const {
  RequireOpen();
  return position_ >= data_.size();
}

void AdoStream::SetPosition(double position) {
  RequireOpen();
  if (!(position >= 0 && position <= static_cast<double>(data_.size()))) {
    Fail(RuntimeError::AdoInvalidArgument);
  }
  position_ = static_cast<size_t>(position);
}

void AdoStream::SetEOS() {
  RequireOpen();
  data_.resize(position_);
}

void AdoStream::Put(std::span<const uint8_t> bytes) {
  if (position_ + bytes.size() > kMaxScriptFileBytes) {
    platform::RaiseFrom(kSource, RuntimeError::OutOfMemory, "the stream would be too large");
  }
  size_t end = position_ + bytes.size();
  if (end > data_.size()) data_.resize(end);
  std::copy(bytes.begin(), bytes.end(), data_.begin() + static_cast<ptrdiff_t>(position_));
  position_ = end;
}

Variant AdoStream::Read(int32_t count) {
  RequireOpen();
  if (type_ != 1) Fail(RuntimeError::AdoIllegalOperation);
  if (count < -1) Fail(RuntimeError::AdoInvalidArgument);
  size_t available = data_.size() - position_;
  size_t taken = count == -1 ? available : std::min(available, static_cast<size_t>(count));
  if (taken == 0) return Variant::Null();
  std::span<const uint8_t> bytes(data_.data() + position_, taken);
  position_ += taken;
  return Variant(platform::ByteArray::FromBytes(bytes));
}

void AdoStream::Write(const Variant& bytes) {
  RequireOpen();
  if (type_ == 2) {
    // Bytes written to a new, empty stream make it a binary one.
    if (!data_.empty()) Fail(RuntimeError::AdoIllegalOperation);
    if (bytes.Type() == platform::VarType::ByteArray) type_ = 1;
  }
  if (bytes.Type() != platform::VarType::ByteArray) Fail(RuntimeError::AdoInvalidArgument);
  Put(bytes.AsByteArray().Bytes());
}

std::vector<uint8_t> AdoStream::Encode(std::u16string_view text) const {
  std::vector<uint8_t> out;
  switch (charset_) {
    case Charset::Utf16:
      text::EncodeUtf16(text, out);
      break;
    case Charset::Utf8:
      text::EncodeUtf8(text, out);
      break;
    case Charset::Ascii:
      text::EncodeAscii(text, out);
      break;
    case Charset::Windows1252:
      text::EncodeWindows1252(text, out);
      break;
  }
  return out;
}

std::u16string AdoStream::Decode(std::span<const uint8_t> bytes) const {
  switch (charset_) {
    case Charset::Utf16:
      return text::DecodeUtf16(bytes);
    case Charset::Utf8:
      return text::DecodeUtf8(bytes);
    case Charset::Ascii:
      return text::DecodeAscii(bytes);
    case Charset::Windows1252:
      break;
  }
  return text::DecodeWindows1252(bytes);
}

std::vector<uint8_t> AdoStream::Separator() const {
  switch (lineSeparator_) {
    case 10:
      return Encode(u"\n");
    case 13:
      return Encode(u"\r");
    default:
      return Encode(u"\r\n");
  }
}

void AdoStream::SkipMark() {
  if (position_ != 0) return;
  std::span<const uint8_t> mark;
  if (charset_ == Charset::Utf16) mark = kUtf16Mark;
  if (charset_ == Charset::Utf8) mark = kUtf8Mark;
  if (!mark.empty() && data_.size() >= mark.size() &&
      std::equal(mark.begin(), mark.end(), data_.begin())) {
    position_ = mark.size();
  }
}

size_t AdoStream::CharacterBytes(size_t count) const {
  size_t available = data_.size() - position_;
  switch (charset_) {
    case Charset::Utf16:
      return std::min(available / 2, count) * 2;
    case Charset::Utf8: {
      // Whole sequences: a lead byte and its continuation bytes make one character.
      size_t at = position_;
      for (size_t taken = 0; taken < count && at < data_.size(); ++taken) {
        ++at;
        while (at < data_.size() && (data_[at] & 0xC0) == 0x80)
          ++at;
      }
      return at - position_;
    }
    default:
      return std::min(available, count);
  }
}

std::u16string AdoStream::ReadText(int32_t count) {
  RequireText();
  if (count < -2) Fail(RuntimeError::AdoInvalidArgument);
  SkipMark();
  std::span<const uint8_t> rest(data_.data() + position_, data_.size() - position_);
  if (count == -2) {
    std::vector<uint8_t> separator = Separator();
    size_t step = charset_ == Charset::Utf16 ? 2 : 1;
    size_t at = 0;
    while (at + separator.size() <= rest.size() &&
           !std::equal(separator.begin(), separator.end(),
                       rest.begin() + static_cast<ptrdiff_t>(at))) {
      at += step;
    }
    bool found = at + separator.size() <= rest.size();
    size_t lineBytes = found ? at : rest.size();
    std::u16string line = Decode(rest.first(lineBytes));
    position_ += lineBytes + (found ? separator.size() : 0);
    return line;
  }
  size_t bytes = count == -1 ? rest.size() : CharacterBytes(static_cast<size_t>(count));
  std::u16string text = Decode(rest.first(bytes));
  position_ += bytes;
  return text;
}

void AdoStream::SkipLine() {
  ReadText(-2);
}

void AdoStream::WriteText(std::u16string_view text, int32_t options) {
  RequireText();
  if (options != 0 && options != 1) Fail(RuntimeError::AdoInvalidArgument);
  if (data_.empty() && position_ == 0) {
    if (charset_ == Charset::Utf16) Put(kUtf16Mark);
    if (charset_ == Charset::Utf8) Put(kUtf8Mark);
  }
  Put(Encode(text));
  if (options == 1) Put(Separator());
}

void AdoStream::LoadFromFile(std::u16string_view path) {
  RequireOpen();
  auto files = platform::CreateFileSystem();
  if (!files->FileExists(path)) Fail(RuntimeError::AdoOpeningFile);
  platform::ByteArray bytes;
  try {
    if (static_cast<uint64_t>(files->GetFile(path).Size) > kMaxScriptFileBytes) {
      platform::RaiseFrom(kSource, RuntimeError::OutOfMemory, "the file is too large");
    }
    bytes = files->ReadAll(path);
  } catch (const platform::Error& error) {
    if (error.Number() == platform::RuntimeErrorNumber(RuntimeError::OutOfMemory)) throw;
    Fail(RuntimeError::AdoOpeningFile);
  }
  data_.assign(bytes.Bytes().begin(), bytes.Bytes().end());
  position_ = 0;
}

void AdoStream::SaveToFile(std::u16string_view path, int32_t options) {
  RequireOpen();
  if (options != 1 && options != 2) Fail(RuntimeError::AdoInvalidArgument);
  auto files = platform::CreateFileSystem();
  if (options == 1 && (files->FileExists(path) || files->FolderExists(path))) {
    Fail(RuntimeError::AdoWriteFile);
  }
  try {
    files->WriteFileAtomically(path, data_);
  } catch (const platform::Error& error) {
    Fail(RuntimeError::AdoWriteFile);
  }
}

void AdoStream::CopyTo(AdoStream& destination, int32_t count) {
  RequireOpen();
  destination.RequireOpen();
  if (count < -1) Fail(RuntimeError::AdoInvalidArgument);
  if (type_ == 2 && destination.type_ == 2 && charset_ != destination.charset_) {
    // Text between two character sets goes as characters.
    destination.WriteText(ReadText(count), 0);
    return;
  }
  size_t available = data_.size() - position_;
  size_t bytes = count == -1  ? available
                 : type_ == 2 ? CharacterBytes(static_cast<size_t>(count))
                              : std::min(available, static_cast<size_t>(count));
  std::vector<uint8_t> copied(data_.begin() + static_cast<ptrdiff_t>(position_),
                              data_.begin() + static_cast<ptrdiff_t>(position_ + bytes));
  position_ += bytes;
  destination.Put(copied);
}

}  // namespace corvella::host
