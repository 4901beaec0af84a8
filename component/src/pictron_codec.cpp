// Decoding on demand, saving and sending the image.

#include <string>
#include <vector>

#include "corvella/codec/jpeg_codec.h"
#include "corvella/component/picture_faults.h"
#include "corvella/imaging/pixel_limit.h"
#include "corvella/platform/checked.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/http_text.h"
#include "corvella/platform/text.h"
#include "pictron_internal.h"

namespace corvella::component {

using platform::ByteArray;
using platform::ComponentError;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;
using platform::VbBool;

namespace {

// The result code appended to error 1140 when the encoded stream could not be written to its file.
constexpr int32_t kStreamWriteFailed = -10;

// Decodes a JPEG stream into the object's new, empty cDib. Answers false, without an error, when
// the buffer cannot be made (too large for the host, or memory short).
bool DecodeJPEG(PictronState& state, std::span<const uint8_t> bytes) {
  codec::JpegParams params;
  if (!codec::ReadJpegParams(bytes, params).Ok()) Raise(ComponentError::ReadImageParams);
  // The host's pixel limit is asked first: a size whose byte count overflows is then simply a
  // buffer that cannot be made, like any other over the limit.
  if (!imaging::WithinPixelLimit(params.width, params.height)) return false;
  if (!state.cDib->Create(params.width, params.height)) return false;
  if (!codec::DecodeJpeg(bytes, *state.cDib).Ok()) Raise(ComponentError::ReadImageData);
  return true;
}

// The comment's bytes as they go into the stream: UTF-8, up to the first zero byte; more than
// 32767 bytes is an overflow.
std::string CommentBytes(const std::u16string& comment) {
  std::string bytes = platform::WideToUtf8(comment);
  bytes.resize(bytes.find('\0') == std::string::npos ? bytes.size() : bytes.find('\0'));
  platform::checked::ToInt16(static_cast<int64_t>(bytes.size()));
  return bytes;
}

// Encodes the working image as JPEG with the object's quality and comment.
std::vector<uint8_t> EncodeJPEG(const PictronState& state) {
  std::string comment = state.strComment.empty() ? std::string() : CommentBytes(state.strComment);
  codec::JpegEncodeSettings settings;
  settings.quality = state.intQuality;
  settings.comment = std::span(reinterpret_cast<const uint8_t*>(comment.data()), comment.size());
  std::vector<uint8_t> stream;
  static const imaging::cDIBSection kNoImage;
  codec::JpegStatus status =
      codec::EncodeJpeg(state.cDib ? *state.cDib : kNoImage, settings, stream);
  if (!status.Ok()) Raise(ComponentError::FailedToSave, std::to_string(status.Value()));
  return stream;
}

// Writes the working image as a JPEG file and sets lngSize to the file's size. The file is
// replaced only once the whole stream is on the disk.
void EncodeJPEGToFile(PictronState& state, const std::u16string& path) {
  std::vector<uint8_t> stream = EncodeJPEG(state);
  auto fileSystem = platform::CreateFileSystem();
  try {
    fileSystem->WriteFileAtomically(path, stream);
  } catch (const platform::Error&) {
    Raise(ComponentError::FailedToSave, std::to_string(kStreamWriteFailed));
  }
  state.lngSize = platform::checked::ToInt32(fileSystem->GetFile(path).Size);
}

// Replaces arImageData by the working image encoded as JPEG and sets lngSize. On failure both
// keep their values.
void EncodeJPEGToBytes(PictronState& state) {
  std::vector<uint8_t> stream = EncodeJPEG(state);
  ByteArray bytes = ByteArray::FromBytes(stream);
  state.lngSize = platform::checked::ToInt32(static_cast<int64_t>(stream.size()));
  state.arImageData = std::move(bytes);
}

// Writes the raw bytes to a file, all or nothing. Any failure, to create the file or to write
// or flush it, is error 1120 of the file module.
void WriteBytesToFile(const std::u16string& path, std::span<const uint8_t> bytes) {
  try {
    platform::CreateFileSystem()->WriteFileAtomically(path, bytes);
  } catch (const platform::Error&) {
    Raise(ComponentError::UnableToSaveFile);
  }
}

// A Download argument as text: a missing argument, Empty and Null count as the empty string.
std::u16string DownloadText(const Variant& value) {
  if (value.IsMissing() || value.IsEmpty() || value.IsNull()) return {};
  return value.ToBStr();
}

// Header values must not carry control characters: a script could otherwise end a header line
// and inject headers of its own.
void RefuseControlCharacters(const std::u16string& text, const char* what) {
  if (platform::HasHeaderControl(text)) {
    Raise(RuntimeError::InvalidProcedureCall, std::string(what) + " contains a control character");
  }
}

}  // namespace

void DecodeImage(Pictron& object) {
  PictronState& state = PictronAccess::State(object);
  if (state.blDecoded != 0) return;
  state.cDib = std::make_unique<imaging::cDIBSection>();
  // Whatever stops the decode leaves no working image behind.
  struct ReleaseUnlessDecoded {
    PictronState& state;
    ~ReleaseUnlessDecoded() {
      if (state.blDecoded == 0) state.cDib.reset();
    }
  } release{state};
  // An object that never opened an image has no upper bound: runtime error 9.
  std::span<const uint8_t> bytes = ImageBytes(state.arImageData);
  // Every format decodes from the bytes that were opened, whether they came from a file or from
  // an array. Without its buffer no member can do what it was asked: an error, never a silent
  // no-op after which a save would hand back the original bytes as if they had been changed.
  // The picture loader raises runtime error 7 itself when it cannot have the buffer.
  if (state.strFormat == u"JPEG") {
    if (!DecodeJPEG(state, bytes)) Raise(RuntimeError::OutOfMemory);
  } else {
    LoadPicture(bytes, *state.cDib);
  }
  state.blDecoded = platform::kVbTrue;
}

VbBoolean Pictron::LoadPictureFromStd() {
  return AtBoundary([&] {
    ByteArray bytes = platform::CreateFileSystem()->ReadAll(state_.strFilePath);
    auto dib = std::make_unique<imaging::cDIBSection>();
    LoadPicture(bytes.Bytes(), *dib);
    state_.cDib = std::move(dib);
    return platform::kVbTrue;
  });
}

void Pictron::SaveFile(Variant& strFilePathName) {
  AtBoundary([&] {
    std::u16string name = strFilePathName.IsMissing() ? std::u16string() : strFilePathName.ToBStr();
    std::u16string target;
    if (state_.strFilePath.empty() && name.empty()) Raise(ComponentError::InvalidFileName);
    if (name.empty()) {
      target = state_.strFilePath;  // the opened file is overwritten
    } else {
      target = MapFileName(*this, name);
    }
    auto fileSystem = platform::CreateFileSystem();
    std::u16string folder =
        target.substr(0, target.size() - platform::FileSystem::GetFileName(target).size());
    if (!fileSystem->FolderExists(folder)) Raise(ComponentError::InvalidPath);
    if (state_.blDecoded != 0) {
      EncodeJPEGToFile(state_, target);
    } else {
      // Runtime error 9 when nothing was ever opened.
      WriteBytesToFile(target, ImageBytes(state_.arImageData));
    }
  });
}

void Pictron::SaveBinary(Variant& binArray) {
  AtBoundary([&] {
    if (state_.blDecoded != 0) EncodeJPEGToBytes(state_);
    state_.arImageData.UBound();  // runtime error 9 when nothing was ever opened
    binArray = Variant(state_.arImageData);
  });
}

void Pictron::Download(const Variant& strNewFileName, const Variant& strContentType,
                       const Variant& strContentDisposition) {
  AtBoundary([&] {
    std::u16string fileName = DownloadText(strNewFileName);
    std::u16string contentType = DownloadText(strContentType);
    std::u16string disposition = DownloadText(strContentDisposition);
    RefuseControlCharacters(fileName, "the file name");
    RefuseControlCharacters(contentType, "the content type");
    RefuseControlCharacters(disposition, "the content disposition");

    if (state_.blDecoded != 0) EncodeJPEGToBytes(state_);
    const platform::ObjectRef& response = state_.objResponse;
    if (!response) {
      Raise(RuntimeError::ObjectNotSet, "no page is bound to send the image through its Response");
    }
    platform::PutProperty(response, u"ContentType",
                          contentType.empty() ? Variant(u"image/jpeg") : strContentType);
    // The name is one parameter whatever it holds: a token as it is, anything else quoted.
    if (!fileName.empty()) {
      if (!disposition.empty()) disposition += u"; ";
      disposition += platform::DispositionFileName(fileName);
    }
    if (!disposition.empty()) {
      platform::CallMethod(response, u"Addheader", {Variant(u"Content-Disposition"), disposition});
    }
    if (platform::GetProperty(response, u"Buffer").ToBool() == 0) {
      platform::CallMethod(response, u"Addheader", {Variant(u"Content-Length"), state_.lngSize});
    }
    // Nothing to send when no image was ever opened: runtime error 9, and no body.
    state_.arImageData.UBound();
    platform::CallMethod(response, u"BinaryWrite", {Variant(state_.arImageData)});
  });
}

}  // namespace corvella::component
