#pragma once
/// @file
/// "ADODB.Stream": the in-memory stream of bytes or text through which pages load and save
/// binary files.

#include <cstdint>
#include <string>
#include <vector>

#include "corvella/platform/dispatch.h"

namespace corvella::host {

/// The stream object of scripts. Its errors carry the source "ADODB.Stream" and the numbers of
/// its library: 3001 (an argument out of range or in conflict), 3002 (a file that cannot be
/// opened), 3004 (a file that cannot be written, or exists for SaveToFile without overwrite),
/// 3219 (an operation of the other type: Read on text, ReadText on binary), 3251 (a source URL
/// for Open), 3704 (the stream is closed), 3705 (it is open already).
///
/// Scriptable members:
///   Open, Close, State (0 closed, 1 open), Mode
///   Type            1 binary, 2 text (the default); settable while Position is 0. Writing bytes
///                   to an empty text stream makes it binary.
///   Charset         for text: "unicode" (the default; also "utf-16"), "utf-8", "us-ascii",
///                   "windows-1252", "iso-8859-1" (read as Windows-1252); settable while
///                   Position is 0. Text written at the start of an empty "unicode" stream begins
///                   with the byte-order mark FF FE, of a "utf-8" one with EF BB BF; reading from
///                   position 0 skips the mark.
///   LineSeparator   -1 CR LF (the default), 10 LF, 13 CR
///   Position, Size, EOS, SetEOS   in bytes; Position may be set from 0 to Size
///   Read([n]), Write(bytes)       a byte array (of all bytes from Position when n is omitted or
///                                 -1; Null at the end), which the component's OpenBinary takes
///   ReadText([n]), WriteText(text [, 1])   n characters, -1 all, -2 one line; 1 adds the
///                                 line separator
///   SkipLine, LoadFromFile(path), SaveToFile(path [, 1 create / 2 overwrite]), CopyTo(stream
///   [, n]), Flush, Cancel
/// A stream holds at most kMaxScriptFileBytes bytes (runtime error 7 beyond).
class AdoStream final : public platform::Dispatchable {
 public:
  platform::DispId GetIdOfName(std::u16string_view name) const override;
  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) override;
  std::u16string TypeName() const override { return u"Stream"; }

  /// The character sets of text streams.
  enum class Charset { Utf16, Utf8, Ascii, Windows1252 };

  // The operations behind the members.
  void Open(const platform::Variant& source, int32_t mode);
  void Close();
  void SetType(int32_t type);
  void SetCharset(std::u16string_view name);
  void SetPosition(double position);
  platform::Variant Read(int32_t count);
  void Write(const platform::Variant& bytes);
  std::u16string ReadText(int32_t count);
  void WriteText(std::u16string_view text, int32_t options);
  void SetEOS();
  void LoadFromFile(std::u16string_view path);
  void SaveToFile(std::u16string_view path, int32_t options);
  void CopyTo(AdoStream& destination, int32_t count);
  void SkipLine();
  void Flush() const { RequireOpen(); }
  int64_t Size() const;
  int64_t Position() const;
  bool AtEnd() const;
  int32_t Type() const { return type_; }
  const std::u16string& CharsetName() const { return charsetName_; }
  int32_t LineSeparator() const { return lineSeparator_; }
  void SetLineSeparator(int32_t separator);
  bool IsOpen() const { return open_; }
  int32_t Mode() const { return mode_; }
  void SetMode(int32_t mode);

 private:
  void RequireOpen() const;
  void RequireText();
  // Writes @p bytes at the position, growing the stream as needed.
  void Put(std::span<const uint8_t> bytes);
  std::vector<uint8_t> Encode(std::u16string_view text) const;
  std::u16string Decode(std::span<const uint8_t> bytes) const;
  std::vector<uint8_t> Separator() const;
  void SkipMark();
  // The bytes of the next @p count characters from the position.
  size_t CharacterBytes(size_t count) const;

  bool open_ = false;
  int32_t type_ = 2;
  int32_t mode_ = 0;
  int32_t lineSeparator_ = -1;
  Charset charset_ = Charset::Utf16;
  std::u16string charsetName_ = u"Unicode";
  std::vector<uint8_t> data_;
  size_t position_ = 0;
};

}  // namespace corvella::host
