// Late-bound calls with arbitrary arguments, as a script could make them: the fuzzer's bytes
// choose up to 16 calls on one object, each a member of the table or an arbitrary DISPID, an
// invoke kind (any combination, none included), and 0 .. 5 arguments of every VARIANT type:
// Empty, Null, 16 and 32-bit integers, floats and doubles of any bit pattern (NaN, infinities,
// huge values), strings with NULs and unpaired surrogates, numeric-looking strings, Booleans,
// bytes, error values (Missing among them), byte arrays with any bounds (unallocated included),
// and objects (a page, another object, the object itself, none). The object may be bound to a
// page first. Every call answers or raises a documented error. Files live in memory.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "corvella/codec/jpeg_codec.h"
#include "corvella/codec/picture_writer.h"
#include "corvella/component/member_table.h"
#include "corvella/component/pictron.h"
#include "corvella/host/page_host.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/imaging/pixel_limit.h"
#include "fuzz_support.h"

namespace {

using corvella::component::Pictron;
using corvella::fuzz::ByteReader;
using corvella::fuzz::Call;
using corvella::platform::ByteArray;
using corvella::platform::InvokeKind;
using corvella::platform::ObjectRef;
using corvella::platform::Variant;

constexpr uint64_t kMaxPixels = 1u << 16;

// Small images of every written format, made once: an 8 x 6 gradient.
struct Samples {
  std::vector<uint8_t> jpeg, png, bmp;
};

const Samples& MakeSamples() {
  static const Samples samples = [] {
    corvella::imaging::cDIBSection dib;
    dib.Create(8, 6);
    corvella::imaging::ImageView view = dib.View();
    for (int32_t y = 0; y < view.height; ++y) {
      for (int32_t x = 0; x < 3 * view.width; ++x)
        view.Row(y)[x] = static_cast<uint8_t>(30 * x + 40 * y);
    }
    Samples made;
    corvella::codec::JpegEncodeSettings settings;
    corvella::codec::EncodeJpeg(dib, settings, made.jpeg);
    made.png = corvella::codec::EncodePng(view);
    made.bmp = corvella::codec::EncodeBmp(view);
    return made;
  }();
  return samples;
}

// Strings that mean something to some member: keywords, colours, names of files that exist (in
// memory), paths that a page refuses, numbers in the runtime's notations.
const char16_t* const kWords[] = {
    u"",           u"LEFT",         u"CENTER",        u"RIGHT",
    u"TOP",        u"BOTTOM",       u"a.jpg",         u"b.png",
    u"c.bmp",      u"out.jpg",      u"\\site\\a.jpg", u"../x.jpg",
    u"%2e%2e/x",   u"sub/none.jpg", u"FFFFFF",        u"00ff7G",
    u"12345",      u"&H7FFF",       u"&O777",         u"1E400",
    u" 12 ",       u"-0",           u"1,000.5",       u"NaN",
    u"2147483648", u"-32769",       u"#TRUE#",        u"True",
    u"Arial",      u"No Such Face", u"DejaVu Sans",   u"\\",
};

ByteArray MakeArray(ByteReader& in) {
  const uint8_t how = in.Byte();
  static const int32_t kBounds[] = {0, 1, -1, 5, -7, INT32_MAX, INT32_MAX - 3, INT32_MIN};
  const int32_t lower = kBounds[how & 7];
  const Samples& samples = MakeSamples();
  const std::span<const uint8_t> written[] = {samples.jpeg, samples.png, samples.bmp};
  const unsigned kind = (how >> 3) % 6;  // unallocated, a written sample, or the fuzzer's bytes
  if (kind == 0) return ByteArray();
  std::span<const uint8_t> bytes = kind <= 3 ? written[kind - 1] : in.Take(in.Byte());
  // Bounds whose upper end leaves the 32-bit range are refused by the array itself.
  try {
    return ByteArray::FromBytes(bytes, lower);
  } catch (const corvella::platform::Error&) {
    return ByteArray::FromBytes(bytes);
  }
}

Variant MakeVariant(ByteReader& in, const ObjectRef& self, const ObjectRef& page) {
  switch (in.Byte() % 15) {
    case 0:
      return Variant();
    case 1:
      return Variant::Null();
    case 2:
      return Variant(static_cast<int16_t>(in.Word()));
    case 3:
      return Variant(static_cast<int32_t>(in.Long()));
    case 4: {
      uint32_t bits = in.Long();
      float value;
      std::memcpy(&value, &bits, sizeof value);
      return Variant(value);
    }
    case 5: {
      uint64_t bits = uint64_t{in.Long()} << 32 | in.Long();
      double value;
      std::memcpy(&value, &bits, sizeof value);
      return Variant(value);
    }
    case 6: {
      std::u16string text(in.Byte() % 24, u'\0');
      for (char16_t& c : text)
        c = static_cast<char16_t>(in.Word());
      return Variant(std::move(text));
    }
    case 7:
    case 8:
      return Variant(kWords[in.Byte() % std::size(kWords)]);
    case 9:
      return Variant::Bool(in.Byte() & 1);
    case 10:
      return Variant::Byte(in.Byte());
    case 11:
      return in.Byte() & 1 ? Variant::Missing()
                           : Variant::ErrorCode(static_cast<int32_t>(in.Long()));
    case 12:
      return Variant(MakeArray(in));
    case 13: {
      switch (in.Byte() % 4) {
        case 0:
          return Variant(ObjectRef());
        case 1:
          return Variant(self);
        case 2:
          return Variant(page);
        default:
          return Variant(ObjectRef(std::make_shared<Pictron>()));
      }
    }
    default:
      // A number as a double: small, half-way or huge.
      static const double kNumbers[] = {0.5,          1.5,   2.5,     -0.5,  32767.5,      -32768.5,
                                        2147483647.5, 1e300, -1e-300, 65535, 4294967296.0, -1};
      return Variant(kNumbers[in.Byte() % std::size(kNumbers)]);
  }
}

// The invoke kind from a byte: any combination of the four kinds, none included.
InvokeKind KindOf(uint8_t b) {
  return static_cast<InvokeKind>(b & 0x0F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    corvella::imaging::SetMaxPixels(kMaxPixels);
    auto& files = corvella::fuzz::InstallMemoryFileSystem();
    const Samples& samples = MakeSamples();
    files.AddFolder(u"/site");
    files.Put(u"/site/a.jpg", samples.jpeg);
    files.Put(u"/site/b.png", samples.png);
    files.Put(u"/site/c.bmp", samples.bmp);
    return true;
  }();
  (void)ready;
  corvella::fuzz::InstallMemoryFileSystem().Reset();

  ByteReader in(std::span<const uint8_t>(data, size));
  auto object = std::make_shared<Pictron>();
  ObjectRef self = object;
  ObjectRef page = std::make_shared<corvella::host::PageContext>(u"/site", u"/index.asp");
  if (in.Byte() & 1) object->OnStartPage(page);

  const auto members = corvella::component::PictronMembers();
  for (int call = 0; call < 16 && !in.Empty(); ++call) {
    const uint8_t which = in.Byte();
    corvella::platform::DispId id;
    InvokeKind kind;
    if (which < 240) {
      const auto& member = members[which % members.size()].info;
      id = member.dispid;
      // Mostly the member's own kind, sometimes any other.
      uint8_t k = in.Byte();
      kind = k < 200 ? member.kind : KindOf(k);
    } else {
      id = static_cast<corvella::platform::DispId>(in.Long());
      kind = KindOf(in.Byte());
    }
    std::vector<Variant> args(in.Byte() % 6);
    for (Variant& arg : args)
      arg = MakeVariant(in, self, page);
    Call([&] { object->Invoke(id, kind, args); });
  }
  // The object refers to the page and may refer to itself through an argument slot; the cycle
  // through OnStartPage's context is broken here, as a page host does at the end of a page.
  Call([&] { object->OnEndPage(); });
  return 0;
}
