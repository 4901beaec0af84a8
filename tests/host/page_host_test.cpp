#include "corvella/host/page_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "corvella/platform/text.h"
#include "support/errors.h"

namespace corvella::host {

using namespace platform;
namespace {

using testing::ErrorNumberOf;
using testing::ErrorOf;
using testing::Runtime;

// A page answers physical paths with backslashes, as scripts expect them on every system.
std::u16string Web(std::u16string path) {
  for (char16_t& c : path)
    c = c == u'/' ? u'\\' : c;
  return path;
}

TEST(PageServer, MapPathResolvesLikeAWebServerAndNeverLeavesTheSiteRoot) {
  PageServer server(u"/srv/site", u"/gallery/show.asp");
  EXPECT_EQ(server.MapPath(u"photo.jpg"), Web(u"/srv/site/gallery/photo.jpg"));
  EXPECT_EQ(server.MapPath(u"thumbs/photo.jpg"), Web(u"/srv/site/gallery/thumbs/photo.jpg"));
  EXPECT_EQ(server.MapPath(u"/pictures/photo.jpg"), Web(u"/srv/site/pictures/photo.jpg"));
  EXPECT_EQ(server.MapPath(u"../photo.jpg"), Web(u"/srv/site/photo.jpg"));
  EXPECT_EQ(server.MapPath(u"./a/./b/../c.jpg"), Web(u"/srv/site/gallery/a/c.jpg"));
  EXPECT_EQ(server.MapPath(u"a//b.jpg"), Web(u"/srv/site/gallery/a/b.jpg"));
  EXPECT_EQ(server.MapPath(u"%2e%2e/photo.jpg"), Web(u"/srv/site/photo.jpg"));
  EXPECT_EQ(server.MapPath(u"my%20photo.jpg"), Web(u"/srv/site/gallery/my photo.jpg"));
  EXPECT_EQ(server.MapPath(u"caf%C3%A9.jpg"), Web(u"/srv/site/gallery/caf\u00e9.jpg"));
  EXPECT_EQ(server.MapPath(u"100%.jpg"), Web(u"/srv/site/gallery/100%.jpg"));      // not a sequence
  EXPECT_EQ(server.MapPath(u"%252e%252e/x"), Web(u"/srv/site/gallery/%2e%2e/x"));  // decoded once
  EXPECT_EQ(server.MapPath(u""), Web(u"/srv/site/gallery"));
  EXPECT_EQ(server.MapPath(u"/"), Web(u"/srv/site"));
  EXPECT_EQ(server.MapPath(u".."), Web(u"/srv/site"));

  // A trailing separator on the root and a page given without a leading "/" or in a folder.
  EXPECT_EQ(PageServer(u"/srv/site/", u"index.asp").MapPath(u"a.jpg"), Web(u"/srv/site/a.jpg"));
  EXPECT_EQ(PageServer(u"/srv/site", u"/gallery/").MapPath(u"a.jpg"),
            Web(u"/srv/site/gallery/a.jpg"));
  EXPECT_EQ(PageServer(u"/", u"/index.asp").MapPath(u"a/b.jpg"), Web(u"/a/b.jpg"));

  // It never leaves the site root.
  const char16_t* escapes[] = {
      u"../../etc/passwd",
      u"/../etc/passwd",
      u"/gallery/../../etc/passwd",
      u"%2e%2e/%2e%2e/etc/passwd",
      u"%2E%2E%2F%2E%2E%2Fetc%2Fpasswd",
      u"..\\..\\etc\\passwd",
      u"..%5c..%5cetc%5cpasswd",
      u"a/../../../etc/passwd",
  };
  for (const char16_t* path : escapes) {
    auto error = ErrorOf([&] { server.MapPath(path); });
    ASSERT_TRUE(error) << WideToUtf8(path);
    EXPECT_EQ(error->Number(), Runtime(5));
    EXPECT_NE(error->Detail().find("outside the site root"), std::string::npos)
        << error->Description();
  }
  // Names that some systems would read as something else are refused too.
  for (const char16_t* path :
       {u"C:/windows/win.ini", u"a%3a.jpg", u"...", u"a/.. /b", u"photo%00.jpg"}) {
    EXPECT_EQ(ErrorNumberOf([&] { server.MapPath(path); }), Runtime(5)) << WideToUtf8(path);
  }
  EXPECT_EQ(ErrorNumberOf([] { PageServer(u"/srv/site", u"/../x.asp"); }), Runtime(5));
  EXPECT_EQ(ErrorNumberOf([] { PageServer(u"", u"/x.asp"); }), Runtime(5));
}

TEST(PageServer, LiteralPathsMeanWhatTheySay) {
  // A command line binds the file system: the site root is "/" and the page is the working folder.
  PageServer server(u"/", u"/home/user/100%25 done/", PathSyntax::Literal);
  EXPECT_EQ(server.Syntax(), PathSyntax::Literal);
  EXPECT_EQ(server.MapPath(u"100%25.jpg"), u"/home/user/100%25 done/100%25.jpg");
  EXPECT_EQ(server.MapPath(u"a%20b.jpg"), u"/home/user/100%25 done/a%20b.jpg");
  EXPECT_EQ(server.MapPath(u"%2e%2e/x.jpg"), u"/home/user/100%25 done/%2e%2e/x.jpg");
  EXPECT_EQ(server.MapPath(u"my photo.jpg"), u"/home/user/100%25 done/my photo.jpg");
  EXPECT_EQ(server.MapPath(u"caf\u00e9/\u5199\u771f.jpg"),
            u"/home/user/100%25 done/caf\u00e9/\u5199\u771f.jpg");
  EXPECT_EQ(server.MapPath(u"../x/./y.jpg"), u"/home/user/x/y.jpg");
  EXPECT_EQ(server.MapPath(u"/tmp/out.png"), u"/tmp/out.png");
  if (std::filesystem::path::preferred_separator == '/') {
    // Ordinary file names on such a system.
    EXPECT_EQ(server.MapPath(u"12:30.jpg"), u"/home/user/100%25 done/12:30.jpg");
    EXPECT_EQ(server.MapPath(u".../a.jpg"), u"/home/user/100%25 done/.../a.jpg");
    EXPECT_EQ(PageServer(u"/", u"/srv/a:b/", PathSyntax::Literal).MapPath(u"c.jpg"),
              u"/srv/a:b/c.jpg");
  }
  // What stays refused: a NUL and a way out of the root.
  EXPECT_EQ(ErrorNumberOf([&] { server.MapPath(std::u16string(u"a\0b", 3)); }), Runtime(5));
  EXPECT_EQ(ErrorNumberOf([&] { server.MapPath(u"../../../../x"); }), Runtime(5));
  // The default stays the web server's reading, and a context passes the syntax on.
  EXPECT_EQ(PageServer(u"/", u"/").MapPath(u"a%20b.jpg"), Web(u"/a b.jpg"));
  PageContext page(u"/", u"/w/", PathSyntax::Literal);
  EXPECT_EQ(page.Server()->MapPath(u"a%20b.jpg"), u"/w/a%20b.jpg");
}

TEST(PageContext, GivesResponseAndServerByNameAndTheResponseCollectsHeadersAndBody) {
  auto page = std::make_shared<PageContext>(u"/srv/site", u"/a/page.asp");
  ObjectRef context = page;
  ObjectRef server = GetProperty(context, u"SERVER").ToObject();
  EXPECT_EQ(GetProperty(context, u"response").ToObject(), ObjectRef(page->Response()));
  EXPECT_EQ(server, ObjectRef(page->Server()));
  EXPECT_EQ(CallMethod(server, u"mappath", {Variant(u"b.jpg")}),
            Variant(Web(u"/srv/site/a/b.jpg")));
  EXPECT_EQ(ErrorNumberOf([&] { GetProperty(context, u"Request"); }), Runtime(438));
  EXPECT_EQ(ErrorNumberOf([&] { PutProperty(context, u"Response", Variant(1)); }), Runtime(450));

  // The page's response collects headers and body.
  const std::shared_ptr<PageResponse>& response = page->Response();
  ObjectRef object = response;
  EXPECT_EQ(response->Status(), "200 OK");
  EXPECT_EQ(response->StatusCode(), 200);
  EXPECT_EQ(response->ContentType(), "text/html");
  EXPECT_EQ(GetProperty(object, u"Buffer"), Variant::Bool(true));

  PutProperty(object, u"ContentType", Variant(u"image/jpeg"));
  EXPECT_EQ(GetProperty(object, u"contenttype"), Variant(u"image/jpeg"));
  CallMethod(object, u"Addheader", {Variant(u"Content-Disposition"), Variant(u"inline")});
  CallMethod(object, u"AddHeader", {Variant(u"Content-Length"), Variant(int32_t{1234})});
  CallMethod(object, u"AddHeader", {Variant(u"X-Note"), Variant(u"caf\u00e9")});
  EXPECT_EQ(response->Headers(),
            (std::vector<std::pair<std::string, std::string>>{{"Content-Disposition", "inline"},
                                                              {"Content-Length", "1234"},
                                                              {"X-Note", "caf\xC3\xA9"}}));
  EXPECT_EQ(response->HeaderValues("content-length"), std::vector<std::string>{"1234"});

  ByteArray bytes = ByteArray::FromBytes(std::vector<uint8_t>{0xFF, 0xD8, 0x00, 0x0A}, 1);
  CallMethod(object, u"BinaryWrite", {Variant(bytes)});
  CallMethod(object, u"Write", {Variant(u"\u00e9!")});
  CallMethod(object, u"BinaryWrite", {Variant(ByteArray())});  // unallocated: nothing
  std::vector<uint8_t> expected = {0xFF, 0xD8, 0x00, 0x0A, 0xC3, 0xA9, '!'};
  EXPECT_EQ(std::vector<uint8_t>(response->Body().begin(), response->Body().end()), expected);
  EXPECT_EQ(ErrorNumberOf([&] { CallMethod(object, u"BinaryWrite", {Variant(u"text")}); }),
            Runtime(13));

  CallMethod(object, u"Clear");
  EXPECT_TRUE(response->Body().empty());
  EXPECT_EQ(response->Headers().size(), 3u);

  PutProperty(object, u"Status", Variant(u"404 Not Found"));
  EXPECT_EQ(response->StatusCode(), 404);
  EXPECT_EQ(GetProperty(object, u"Status"), Variant(u"404 Not Found"));
}

TEST(PageResponse, RefusesHeaderInjectionAndLateHeaders) {
  auto response = std::make_shared<PageResponse>();
  ObjectRef object = response;
  auto addHeader = [&](const char16_t* name, const char16_t* value) {
    return ErrorNumberOf([&] {
      CallMethod(object, u"AddHeader", {Variant(name), Variant(value)});
    });
  };
  EXPECT_EQ(addHeader(u"Content-Disposition", u"attachment; filename=a.jpg\r\nSet-Cookie: x=1"),
            Runtime(5));
  for (const char16_t* name : {u"Bad Name", u"Bad:Name", u"", u"X\x01", u"caf\u00e9"}) {
    EXPECT_EQ(addHeader(name, u"x"), Runtime(5));
  }
  // Every control character but the tab, wherever header text goes.
  for (const char16_t* bad : {u"a\nb", u"a\x01", u"\x1b[31m", u"a\x7f"}) {
    std::u16string text = bad;
    EXPECT_EQ(addHeader(u"X-Bad", bad), Runtime(5));
    EXPECT_EQ(ErrorNumberOf([&] { response->SetContentType(text); }), Runtime(5));
    EXPECT_EQ(ErrorNumberOf([&] { response->SetStatus(u"404 " + text); }), Runtime(5));
  }
  for (const char16_t* status : {u"20", u"2000", u"abc", u"600 Nope"}) {
    EXPECT_EQ(ErrorNumberOf([&] { response->SetStatus(status); }), Runtime(5));
  }
  EXPECT_TRUE(response->Headers().empty());
  EXPECT_EQ(response->ContentType(), "text/html");
  EXPECT_EQ(addHeader(u"X-Tabbed", u"a\tb"), 0);
  // Headers a response carries once: the later value replaces the earlier.
  EXPECT_EQ(addHeader(u"Content-Disposition", u"inline"), 0);
  EXPECT_EQ(addHeader(u"content-disposition", u"attachment"), 0);
  EXPECT_EQ(response->HeaderValues("Content-Disposition"), std::vector<std::string>{"attachment"});
  EXPECT_EQ(response->Status(), "200 OK");

  // Unbuffered output: the first write sends the headers; later header changes are refused and
  // what was added before stays.
  PutProperty(object, u"Buffer", Variant::Bool(false));
  EXPECT_EQ(addHeader(u"X-Early", u"1"), 0);
  CallMethod(object, u"Write", {Variant(u"body")});
  EXPECT_TRUE(response->HeadersSent());
  auto error = ErrorOf([&] {
    CallMethod(object, u"AddHeader", {Variant(u"X-Late"), Variant(u"2")});
  });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Number(), Runtime(5));
  EXPECT_NE(error->Detail().find("already been sent"), std::string::npos);
  EXPECT_EQ(ErrorNumberOf([&] { PutProperty(object, u"ContentType", Variant(u"a/b")); }),
            Runtime(5));
  EXPECT_EQ(ErrorNumberOf([&] { PutProperty(object, u"Buffer", Variant::Bool(true)); }),
            Runtime(5));
  // What was sent cannot be taken back.
  EXPECT_EQ(ErrorNumberOf([&] { CallMethod(object, u"Clear"); }), Runtime(5));
  EXPECT_EQ(response->Body().size(), 4u);
  EXPECT_EQ(response->HeaderValues("X-Early"), std::vector<std::string>{"1"});
  EXPECT_TRUE(response->HeaderValues("X-Late").empty());
}

}  // namespace
}  // namespace corvella::host
