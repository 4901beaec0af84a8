// corvella serve: serves a site of classic pages and static files over HTTP until SIGINT or
// SIGTERM, then finishes the requests in flight and exits.

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "commands.h"
#include "corvella/server/http_server.h"
#include "option_scanner.h"

namespace corvella::cli {

namespace {

namespace fs = std::filesystem;

// A whole number in [low, high] for an option, with an optional K or M suffix (x1024) for sizes.
uint64_t Number(std::string_view option, std::string_view text, uint64_t low, uint64_t high,
                bool size = false) {
  uint64_t scale = 1;
  if (size && !text.empty() && (text.back() == 'K' || text.back() == 'k')) scale = 1024;
  if (size && !text.empty() && (text.back() == 'M' || text.back() == 'm')) scale = 1024 * 1024;
  if (scale != 1) text.remove_suffix(1);
  uint64_t value = 0;
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end != text.data() + text.size() || text.empty() ||
      value > high / scale || value * scale < low) {
    throw UsageError(std::string(option) + " takes a whole number from " + std::to_string(low) +
                     " to " + std::to_string(high) + ", not '" + std::string(text) + "'");
  }
  return value * scale;
}

struct ServeJob {
  std::string root;
  std::optional<std::string> log;
  server::ServerOptions options;
};

std::optional<ServeJob> ParseServe(Arguments args, Console& console) {
  ServeJob job;
  OptionScanner scanner(args);
  bool haveRoot = false;
  while (scanner.Next()) {
    std::string_view name = scanner.Current();
    if (!scanner.IsOption()) {
      if (haveRoot) throw UsageError("serve takes one SITE_ROOT");
      job.root = std::string(name);
      haveRoot = true;
      continue;
    }
    server::ServerOptions& o = job.options;
    if (name == "--help" || name == "-h") {
      std::fputs(ServeHelp().data(), console.out);
      return std::nullopt;
    } else if (name == "--bind") {
      o.bindAddress = std::string(scanner.Value());
    } else if (name == "--port") {
      o.port = static_cast<uint16_t>(Number(name, scanner.Value(), 0, 65535));
    } else if (name == "--max-body") {
      o.maxBodyBytes = Number(name, scanner.Value(), 0, uint64_t{4} << 30, true);
    } else if (name == "--max-header") {
      o.maxHeaderBytes = Number(name, scanner.Value(), 1024, 1024 * 1024, true);
    } else if (name == "--max-connections") {
      o.maxConnections = static_cast<unsigned>(Number(name, scanner.Value(), 1, 100000));
    } else if (name == "--idle-timeout") {
      o.idleTimeoutSeconds = static_cast<unsigned>(Number(name, scanner.Value(), 1, 3600));
    } else if (name == "--script-timeout") {
      o.site.scriptTimeoutSeconds = static_cast<int>(Number(name, scanner.Value(), 1, 86400));
    } else if (name == "--session-timeout") {
      o.site.sessionTimeoutMinutes = static_cast<int>(Number(name, scanner.Value(), 1, 1440));
    } else if (name == "--max-sessions") {
      o.site.maxSessions = Number(name, scanner.Value(), 1, 10000000);
    } else if (name == "--threads") {
      o.ioThreads = static_cast<unsigned>(Number(name, scanner.Value(), 1, 256));
    } else if (name == "--workers") {
      o.pageWorkers = static_cast<unsigned>(Number(name, scanner.Value(), 1, 1024));
    } else if (name == "--log") {
      job.log = std::string(scanner.Value());
    } else if (name == "--error-page") {
      o.site.errorPage = std::string(scanner.Value());
      if (o.site.errorPage.empty() || o.site.errorPage[0] != '/') {
        throw UsageError("--error-page takes the virtual path of a page, such as /error.asp");
      }
    } else if (name == "--detailed-errors") {
      scanner.NoValue();
      o.detailedErrors = true;
    } else {
      throw UsageError("unknown option '" + std::string(name) + "'");
    }
  }
  if (!haveRoot) throw UsageError("serve needs a SITE_ROOT");
  return job;
}

int Serve(ServeJob& job, Console& console) {
  const fs::path root = console.workingFolder / fs::path(job.root);
  std::error_code error;
  if (!fs::is_directory(root, error)) {
    std::fprintf(console.err, "corvella serve: the site root '%s' is not a folder\n",
                 job.root.c_str());
    return kExitFailed;
  }
  std::FILE* log = console.err;
  if (job.log) {
    log = std::fopen((console.workingFolder / fs::path(*job.log)).c_str(), "a");
    if (log == nullptr) {
      std::fprintf(console.err, "corvella serve: cannot open the log '%s'\n", job.log->c_str());
      return kExitFailed;
    }
  }
  job.options.site.root = root;
  job.options.accessLog = log;
  job.options.site.logError = [log](const std::string& line) {
    std::fprintf(log, "corvella serve: %s\n", line.c_str());
    std::fflush(log);
  };

  // The signals are taken by this thread alone: every thread started from here on blocks them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  int status = kExitOk;
  {
    server::HttpServer server(job.options);
    try {
      server.Start();
    } catch (const std::exception& failure) {
      std::fprintf(console.err, "corvella serve: %s\n", failure.what());
      if (log != console.err) std::fclose(log);
      return kExitFailed;
    }
    std::fprintf(console.err, "corvella serve: serving %s at http://%s:%u/ (Ctrl-C stops)\n",
                 root.lexically_normal().c_str(),
                 job.options.bindAddress.find(':') != std::string::npos
                     ? ("[" + job.options.bindAddress + "]").c_str()
                     : job.options.bindAddress.c_str(),
                 static_cast<unsigned>(server.Port()));
    std::fflush(console.err);
    int received = 0;
    sigwait(&signals, &received);
    std::fprintf(console.err, "corvella serve: stopping; finishing the requests in flight\n");
    std::fflush(console.err);
    server.Stop();
  }
  if (log != console.err) std::fclose(log);
  return status;
}

}  // namespace

int RunServe(Arguments args, Console& console) {
  std::optional<ServeJob> job;
  try {
    job = ParseServe(args, console);
    if (!job) return kExitOk;
  } catch (const UsageError& error) {
    return ReportUsageError(console, "serve", error);
  }
  return ReportingErrors(console, "corvella serve", [&] { return Serve(*job, console); });
}

std::string_view ServeHelp() {
  return R"(usage: corvella serve SITE_ROOT [--bind ADDR] [--port N] [OPTIONS]

Serves the site in SITE_ROOT over HTTP/1.1: classic pages (.asp, written in VBScript, with
the component), global.asa, and the site's other files as they are. Stops on Ctrl-C or
SIGTERM after the requests in flight have finished.

Pages reach Request, Response, Server, Session and Application; Server.CreateObject binds
"Corvella.Pictron" to the page, so that Download sends the image as this page's response.
Sources (.asp, .asa, .inc) are never sent; no path leads outside SITE_ROOT; a folder answers
its default.asp, index.asp or index.html, and is never listed.

Options:
  --bind ADDR             address to listen on (default 127.0.0.1; 0.0.0.0 or :: for all)
  --port N                port (default 8080; 0 picks a free one and prints it)
  --max-body BYTES        largest request body (default 32M); larger gets 413 unread
  --max-header BYTES      largest request line and headers (default 16K); larger gets 431
  --max-connections N     connections at once (default 256)
  --idle-timeout SECONDS  a connection silent this long is closed (default 30)
  --script-timeout SECONDS  Server.ScriptTimeout's default (90); a page past it gets 500
  --session-timeout MINUTES Session.Timeout's default (20)
  --max-sessions N        live sessions at most (default 10000; the least recent one ends)
  --threads N             connection threads (default: one per core)
  --workers N             page workers (default: twice the cores, at least 4)
  --log FILE              append the access log (combined format) and page errors to FILE
                          instead of standard error
  --error-page VPATH      run this page of the site (such as /error.asp) when a page fails,
                          with status 500; Server.GetLastError there tells the error
  --detailed-errors       show a failing page's file, line and error in the 500 page to
                          clients on the loopback address (the log always has them)
Sizes take a K or M suffix.
)";
}

}  // namespace corvella::cli
