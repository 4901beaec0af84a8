// A page written as JScript objects: the component reaches the scripting context, its Response
// and its Server by name, and sends Download's headers and body into them.
//   cscript page_jscript.js IMAGES_FOLDER OUTPUT_FOLDER   (folders end with a backslash)
var failures = 0;
function check(condition, what) {
  WScript.Echo((condition ? "ok   " : "FAIL ") + what);
  if (!condition) failures++;
}

var images = WScript.Arguments(0);
var output = WScript.Arguments(1);
var response = {
  ContentType: "text/html",
  Buffer: false,
  headers: "",
  body: null,
  writes: 0,
  AddHeader: function (name, value) { response.headers += name + "=" + value + ";"; },
  BinaryWrite: function (data) { response.body = data; response.writes++; }
};
var server = {
  MapPath: function (path) { return images + path.replace(/\//g, "\\"); }
};
var context = { Response: response, Server: server };

var p = new ActiveXObject("Corvella.Pictron");
p.OnStartPage(context);
p.OpenFile("egret_600x450.jpg");
check(p.OriginalWidth == 600, "OpenFile through Server.MapPath");
p.Download("photo.jpg");
check(response.ContentType == "image/jpeg", "content type (" + response.ContentType + ")");
check(response.headers == "Content-Disposition=filename=photo.jpg;Content-Length=18986;",
      "headers (" + response.headers + ")");
check(response.writes == 1, "one BinaryWrite");
var q = new ActiveXObject("Corvella.Pictron");
q.OpenBinary(response.body);
check(q.OriginalSize == 18986, "the body is the opened file");
q.SaveFile(output + "page_jscript_body.jpg");

// An error thrown by the page's objects fails the call. (Wine's JScript answers a call from outside
// that throws with a bare failure code, without the exception's description; see
// windows/README.md.)
response.BinaryWrite = function (data) { throw new Error("refused"); };
try {
  p.Download();
  check(false, "a failing BinaryWrite fails Download");
} catch (e) {
  check(e.number != 0, "an error of BinaryWrite fails Download (" + e.number + " " +
        e.description + ")");
}

try {
  p.OpenFile("");
  check(false, "OpenFile of an empty name raises");
} catch (e) {
  check(e.number == -2147220504 && e.description == "Empty file name (Error 1000)",
        "OpenFile of an empty name raises 1000 (" + e.number + " " + e.description + ")");
}
WScript.Echo(failures == 0 ? "DONE page_jscript.js" : "FAILED page_jscript.js: " + failures);
