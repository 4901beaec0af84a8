// Pages through real HTTP on loopback: the translator's output, the objects, state and errors.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "corvella/server/page_compiler.h"
#include "server_test_support.h"

namespace corvella::server::testing {
namespace {

using ::testing::HasSubstr;

// Each row: a page's source, the request (target, extra headers, body), the body expected.
struct PageCase {
  const char* name;
  const char* source;
  const char* target;
  const char* headers;
  const char* body;
  const char* expected;
};

const PageCase kPages[] = {
    {"literal_and_expression", "a<%= 1 + 2 %>b<% x = 4 %><%= x * 2 %>", "/p.asp", "", "", "a3b8"},
    {"blocks_inside_statements",
     "<% For i = 1 To 3 %>[<%= i %>]<% Next %><% If True Then %>yes<% Else %>no<% End If %>",
     "/p.asp", "", "", "[1][2][3]yes"},
    {"procedure_declared_after_use",
     "<% Hello \"you\" %><% Sub Hello(n) %>hi <%= n %><% End Sub %>", "/p.asp", "", "", "hi you"},
    {"directive_and_option_explicit",
     "<%@ LANGUAGE=\"VBSCRIPT\" CODEPAGE=65001 %><% Option Explicit\nDim a : a = \"\xC3\xA9\" "
     "%><%= a %>",
     "/p.asp", "", "", "\xC3\xA9"},
    {"codepage_1252", "<%@ CODEPAGE=1252 %><%= \"\xE9\" %>", "/p.asp", "", "", "\xE9"},
    {"query_string_multi",
     "<%= Request.QueryString(\"a\") %>|<%= Request.QueryString(\"a\").Count %>|"
     "<%= Request.QueryString(\"a\")(2) %>|<%= Request(\"b\") %>|<%= IsEmpty(Request(\"zz\")) %>",
     "/p.asp?a=1&a=x%20y&b=%C3%A9+z", "", "", "1, x y|2|x y|\xC3\xA9 z|True"},
    {"form_urlencoded", "<%= Request.Form(\"n\") %>/<%= Request.TotalBytes %>", "/p.asp",
     "Content-Type: application/x-www-form-urlencoded\r\n", "n=a%26b&m=2", "a&b/11"},
    {"binary_read", "<% n = 4 : b = Request.BinaryRead(n) %><%= n %>:<%= LenB(b) %>", "/p.asp", "",
     "abcdefgh", "4:4"},
    {"server_variables",
     "<%= Request.ServerVariables(\"REQUEST_METHOD\") %> <%= "
     "Request.ServerVariables(\"SCRIPT_NAME\") %> "
     "<%= Request.ServerVariables(\"QUERY_STRING\") %> <%= "
     "Request.ServerVariables(\"HTTP_X_TEST\") %> "
     "<%= Request.ServerVariables(\"SERVER_PORT\") > 0 %> <%= Request.ServerVariables(\"HTTPS\") "
     "%>",
     "/d/p.asp?q=1", "X-Test: yes\r\n", "", "GET /d/p.asp q=1 yes True off"},
    {"cookies_in", "<%= Request.Cookies(\"c\") %>", "/p.asp", "Cookie: a=1; c=hello%20there\r\n",
     "", "hello there"},
    {"encoders",
     "<%= Server.HTMLEncode(\"<a&\"\"b>\") %> <%= Server.URLEncode(\"a b/\xC3\xA9\") %>", "/p.asp",
     "", "", "&lt;a&amp;&quot;b&gt; a+b%2F%C3%A9"},
    {"map_path_and_include", "<!--#include virtual=\"/inc/a.inc\"--><%= Twice(4) %>", "/p.asp", "",
     "", "A8"},
    {"execute", "1<% Server.Execute \"sub/child.asp\" %>3", "/p.asp", "", "",
     "1[child /sub/child.asp]3"},
    {"transfer_ends_page", "1<% Server.Transfer \"sub/child.asp\" %>3", "/p.asp", "", "",
     "1[child /sub/child.asp]"},
    {"response_end", "a<% Response.End %>b", "/p.asp", "", "", "a"},
    {"application_values",
     "<% Application.Lock : Application(\"n\") = 5 : Application.Unlock %>"
     "<%= Application(\"n\") %><%= Application.Contents.Count > 0 %>",
     "/p.asp", "", "", "5True"},
};

std::map<std::string, std::string> SiteFiles(const std::string& page) {
  return {{"p.asp", page},
          {"d/p.asp", page},
          {"inc/a.inc", "A<% Function Twice(n) : Twice = n * 2 : End Function %>"},
          {"sub/child.asp", "[child <%= Request.ServerVariables(\"SCRIPT_NAME\") %>]"}};
}

TEST(Pages, RunAsWritten) {
  for (const PageCase& c : kPages) {
    TestSite site(SiteFiles(c.source));
    Response r = Request(site.Port(), c.target, *c.body ? "POST" : "GET", c.headers, c.body);
    EXPECT_EQ(r.status, 200) << c.name << " " << r.body;
    EXPECT_EQ(r.body, c.expected) << c.name;
    EXPECT_THAT(site.Errors(), ::testing::IsEmpty()) << c.name;
  }
}

TEST(Pages, ResponseHeadersCookiesAndRedirect) {
  TestSite site(
      {{"p.asp",
        "<% Response.ContentType = \"text/plain\" : Response.Charset = \"utf-8\"\n"
        "Response.Cookies(\"k\") = \"v 1;\" : Response.Cookies(\"k\").Path = \"/x\"\n"
        "Response.AddHeader \"X-A\", \"b\" : Response.Status = \"201 Made\" %>ok"},
       {"r.asp", "gone<% Response.Redirect \"/p.asp?x=1\" %>never"},
       {"bad.asp", "<% Response.AddHeader \"X-B\", \"a\" & vbCrLf & \"Set-Cookie: evil=1\" %>"}});
  Response r = Request(site.Port(), "/p.asp");
  EXPECT_EQ(r.status, 201);
  EXPECT_EQ(r.Header("content-type"), "text/plain; charset=utf-8");
  EXPECT_EQ(r.Header("set-cookie"), "k=v+1%3B; path=/x");
  EXPECT_EQ(r.Header("x-a"), "b");
  Response moved = Request(site.Port(), "/r.asp");
  EXPECT_EQ(moved.status, 302);
  EXPECT_EQ(moved.Header("location"), "/p.asp?x=1");
  EXPECT_THAT(moved.body, ::testing::Not(HasSubstr("never")));
  // A header with a line break is refused: the page fails, nothing is smuggled.
  Response bad = Request(site.Port(), "/bad.asp");
  EXPECT_EQ(bad.status, 500);
  EXPECT_EQ(bad.Header("set-cookie"), "");
}

TEST(Pages, SessionsAndGlobalAsa) {
  TestSite site(
      {{"global.asa",
        "<SCRIPT LANGUAGE=\"VBScript\" RUNAT=\"Server\">\nSub Application_OnStart\n"
        "  Application(\"starts\") = Application(\"starts\") + 1\nEnd Sub\n"
        "Sub Session_OnStart\n  Session(\"n\") = 100\nEnd Sub\n</SCRIPT>"},
       {"count.asp",
        "<% Session(\"n\") = Session(\"n\") + 1 : Session(\"a\") = Array(1, 2) %>"
        "<%= Session(\"n\") %>/<%= UBound(Session(\"a\")) %>/<%= Application(\"starts\") %>"},
       {"end.asp", "<% Session.Abandon %>bye"},
       {"obj.asp", "<% Set Session(\"o\") = Server.CreateObject(\"Scripting.Dictionary\") %>"}});
  Response first = Request(site.Port(), "/count.asp");
  EXPECT_EQ(first.body, "101/1/1");
  std::string cookie = first.Header("set-cookie");
  ASSERT_THAT(cookie, HasSubstr("ASPSESSIONID="));
  std::string header = "Cookie: " + cookie.substr(0, cookie.find(';')) + "\r\n";
  EXPECT_EQ(Request(site.Port(), "/count.asp", "GET", header).body, "102/1/1");
  EXPECT_EQ(Request(site.Port(), "/count.asp").body, "101/1/1");  // another visitor
  Request(site.Port(), "/end.asp", "GET", header);
  EXPECT_EQ(Request(site.Port(), "/count.asp", "GET", header).body, "101/1/1");
  EXPECT_EQ(site.Server().GetSite().SessionCount(), 2u);  // the abandoned one is gone
  // Objects belong to one page's engine and cannot be kept in a session.
  EXPECT_EQ(Request(site.Port(), "/obj.asp").status, 500);
}

// Each row: a page that fails, and what the log line must hold (file, line, column, number).
struct FailureCase {
  const char* source;
  const char* logged;
};

const FailureCase kFailures[] = {
    {"line1\n<% x = 1\ny = 1 / 0 %>",
     "/p.asp(3, 1) Script runtime error: Division by zero (0x800A000B)"},
    {"<!--#include file=\"inc/bad.inc\"-->", "/inc/bad.inc(2, 5)"},
    {"<% Option Explicit %>\n\n<%= undeclared %>", "/p.asp(3, 5)"},
    {"<% If %>", "/p.asp(1, 7) Script compilation error"},
    {"<!--#include file=\"inc/loop.inc\"-->", "include cycle"},
    {"<!--#include file=\"nothing.inc\"-->", "'nothing.inc' was not found"},
    {"<!--#include file=\"../../etc/passwd\"-->", "is outside the site"},
    {"text <% unclosed", "/p.asp(1, 6) Active Server Pages: Missing close of script delimiter"},
    {"<%@ LANGUAGE=\"JScript\" %>", "JScript' is not supported"},
    {"<% b = Request.BinaryRead(1) : x = Request.Form(\"a\") %>", "ASP 0207"},
    {"<% Server.Execute \"missing.asp\" %>", "ASP 0228"},
    {"<% Err.Raise 5, \"s\", \"a\" & vbLf & \"b\" %>", "s: a b"},  // one line in the log
};

TEST(Pages, ErrorsNameThePagesOwnPlace) {
  for (const FailureCase& c : kFailures) {
    TestSite site({{"p.asp", c.source},
                   {"inc/bad.inc", "<%\n    Err.Raise 5 %>"},
                   {"inc/loop.inc", "<!--#include file=\"loop2.inc\"-->"},
                   {"inc/loop2.inc", "<!--#include file=\"loop.inc\"-->"}},
                  [](ServerOptions& o) { o.detailedErrors = true; });
    Response r = Request(site.Port(), "/p.asp");
    EXPECT_EQ(r.status, 500) << c.source;
    ASSERT_EQ(site.Errors().size(), 1u) << c.source;
    EXPECT_THAT(site.Errors()[0], HasSubstr(c.logged)) << c.source;
    EXPECT_THAT(r.body, HasSubstr("<pre>")) << "a loopback client sees the details";
  }
}

TEST(Pages, TheSitesErrorPageTellsTheError) {
  TestSite site({{"p.asp", "<%\n x = 1 / 0 %>"},
                 {"error.asp",
                  "<% Set e = Server.GetLastError %><%= e.File %>:<%= e.Line %>:"
                  "<%= e.Number %>:<%= e.Description %>:<%= e.Category %>"}},
                [](ServerOptions& o) { o.site.errorPage = "/error.asp"; });
  Response r = Request(site.Port(), "/p.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(r.body, "/p.asp:2:-2146828277:Division by zero:Script runtime error");
}

TEST(Pages, RecompiledWhenAnIncludeChanges) {
  TestSite site({{"p.asp", "<!--#include file=\"a.inc\"-->"}, {"a.inc", "one"}});
  EXPECT_EQ(Request(site.Port(), "/p.asp").body, "one");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  site.Write("a.inc", "two");
  EXPECT_EQ(Request(site.Port(), "/p.asp").body, "two");
}

}  // namespace
}  // namespace corvella::server::testing
