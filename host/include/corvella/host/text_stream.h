#pragma once
/// @file
/// The TextStream object of scripts: a text file opened by the file system object for reading,
/// writing or appending.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvella/platform/dispatch.h"

namespace corvella::host {

/// The most bytes that a text stream (or any file a script object loads) holds in memory: larger
/// files raise runtime error 7 when opened, and writing past it raises runtime error 7.
inline constexpr size_t kMaxScriptFileBytes = size_t{128} << 20;

/// A text file as scripts read and write it. A stream for reading holds the decoded file; a
/// stream for writing collects the text and replaces the file, all or nothing, through the
/// platform's file system service when it is closed (or released unclosed: then a failure goes
/// unreported, as it has no one to go to).
///
/// Encodings: ASCII streams are UTF-8, the system code page here: a file that is not valid UTF-8
/// is read as Windows-1252, one character per byte (a leading UTF-8 byte-order mark is dropped);
/// writing a character that UTF-8 cannot hold (an unpaired surrogate) raises runtime error 5.
/// Unicode streams are UTF-16LE; a new file starts with the byte-order mark FF FE, which reading
/// skips.
///
/// Scriptable members: Read(n), ReadLine, ReadAll, Skip(n), SkipLine (runtime error 62 at the end
/// of the file), AtEndOfStream, AtEndOfLine, Line, Column; Write(text), WriteLine([text]) (lines
/// end with CR LF), WriteBlankLines(n); Close. Reading a stream opened for writing, or writing
/// one opened for reading, or using a closed stream, raises runtime error 54. A line ends at LF
/// or CR LF.
class TextStream final : public platform::Dispatchable {
 public:
  enum class IoMode { Reading = 1, Writing = 2, Appending = 8 };
  /// The format argument of scripts: 0 ASCII, -1 Unicode, -2 the system default (ASCII unless the
  /// file starts with the UTF-16LE byte-order mark).
  enum class Format { Ascii = 0, Unicode = -1, Default = -2 };

  /// Opens @p path. Reading: the file must exist (runtime error 53). Writing: the file is
  /// created or emptied at once. Appending: the file keeps its bytes and the text goes after
  /// them. @p create allows Writing and Appending to make a missing file (else error 53).
  static std::shared_ptr<TextStream> Open(std::u16string_view path, IoMode mode, bool create,
                                          Format format);
  /// The format argument as scripts give it; runtime error 5 for a value that is none.
  static Format FormatOf(int32_t tristate);

  ~TextStream() override;
  platform::DispId GetIdOfName(std::u16string_view name) const override;
  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) override;
  std::u16string TypeName() const override { return u"TextStream"; }

  // The operations behind the members.
  std::u16string Read(int32_t count);
  std::u16string ReadLine();
  std::u16string ReadAll();
  void Skip(int32_t count);
  void SkipLine();
  bool AtEndOfStream();
  bool AtEndOfLine();
  void Write(std::u16string_view text);
  void WriteBlankLines(int32_t count);
  /// Writes the text to the file (a stream for writing) and releases the stream; a second Close
  /// does nothing.
  void Close();
  int32_t Line() const { return line_; }
  int32_t Column() const { return column_; }

 private:
  TextStream(std::u16string path, IoMode mode, bool unicode);
  void RequireReading();
  void RequireWriting();
  // Moves the read position over @p count characters, counting lines and columns.
  void Advance(size_t count);

  std::u16string path_;
  IoMode mode_;
  bool unicode_;
  bool closed_ = false;
  std::u16string text_;          // reading: the file's text
  size_t position_ = 0;          // reading: the next character
  std::vector<uint8_t> output_;  // writing: the file's bytes as they will be written
  int32_t line_ = 1;
  int32_t column_ = 1;
};

}  // namespace corvella::host
