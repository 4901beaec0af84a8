// Runs the scenarios of windows/tests/parity.vbs on the Linux build, through the same member
// table that scripts reach, and writes the same output files.
//   parity_reference IMAGES_FOLDER OUTPUT_FOLDER

#include <cstdio>
#include <string>
#include <vector>

#include "corvella/component/pictron.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"

namespace {

using corvella::component::Pictron;
using corvella::platform::Utf8ToWide;
using corvella::platform::Variant;

std::u16string images;
std::u16string output;

std::u16string BackslashPath(const char* folder) {
  std::u16string path = Utf8ToWide(std::string(folder) + "/");
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
}

// Calls a member by name with by-reference arguments, as a script does.
void Call(Pictron& p, const char* name, std::vector<Variant> args = {}) {
  p.Invoke(p.GetIdOfName(Utf8ToWide(name)), corvella::platform::InvokeKind::Method, args);
}

void Let(Pictron& p, const char* name, Variant value) {
  std::vector<Variant> args{std::move(value)};
  p.Invoke(p.GetIdOfName(Utf8ToWide(name)), corvella::platform::InvokeKind::PropertyPut, args);
}

Variant Image(const char* file) {
  return Variant(images + Utf8ToWide(file));
}

Variant Output(const char* file) {
  return Variant(output + Utf8ToWide(file));
}

// The scenarios; parity.vbs makes exactly these calls in this order.
void Scenarios() {
  {
    Pictron p;  // resample, text, quality
    Call(p, "OpenFile", {Image("egret_600x450.jpg")});
    Call(p, "Resample", {Variant(200), Variant(0)});
    Let(p, "FontSize", Variant(int16_t{20}));
    Let(p, "FontBold", Variant::Bool(true));
    Let(p, "FontColor", Variant(u"FF8000"));
    Call(p, "AddText", {Variant(u"Egret 600x450"), Variant(5), Variant(5)});
    Let(p, "Quality", Variant(int16_t{85}));
    Call(p, "SaveFile", {Output("egret_text.jpg")});
  }
  {
    Pictron p;  // GIF decoding, rotation, gamma, sharpen, named positions, italic
    Call(p, "OpenFile", {Image("snake_600x450.gif")});
    Call(p, "RotateRight");
    Call(p, "Gamma", {Variant(1.2f), Variant(1.0f), Variant(0.8f)});
    Call(p, "Sharpen");
    Let(p, "FontItalic", Variant::Bool(true));
    Let(p, "FontFace", Variant(u"Liberation Serif"));
    Let(p, "FontOrientation", Variant(int16_t{30}));
    Call(p, "AddText", {Variant(u"Snake"), Variant(u"CENTER"), Variant(u"BOTTOM")});
    Call(p, "SaveFile", {Output("snake_rotated.jpg")});
  }
  {
    Pictron p;  // PNG decoding, crop, filters, overlay with a key colour, comment
    Call(p, "OpenFile", {Image("coffee_rgb_600x400.png")});
    Call(p, "Crop", {Variant(20), Variant(10), Variant(520), Variant(390)});
    Call(p, "Blur");
    Call(p, "Mirror");
    Call(p, "Flip");
    Call(p, "AddImage",
         {Image("apache_pb_transp.gif"), Variant(u"RIGHT"), Variant(10), Variant(u"FFFFFF")});
    Let(p, "Comment", Variant(u"parity"));
    Call(p, "RotateLeft");
    Call(p, "GreyScale");
    Call(p, "Negative");
    Call(p, "SaveFile", {Output("coffee_overlay.jpg")});
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: parity_reference IMAGES_FOLDER OUTPUT_FOLDER\n");
    return 2;
  }
  // Written with backslashes, the names are physical paths, as the Windows script's are; the
  // file system service reads either separator.
  images = BackslashPath(argv[1]);
  output = BackslashPath(argv[2]);
  try {
    Scenarios();
  } catch (const corvella::platform::Error& error) {
    std::fprintf(stderr, "parity_reference: %d %s: %s\n", error.Number(), error.Source().c_str(),
                 error.Description().c_str());
    return 1;
  }
  std::puts("parity_reference: done");
  return 0;
}
