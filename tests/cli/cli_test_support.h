#pragma once
// Running the corvella command in tests: its subcommands in-process with memory streams, and the
// built program as a process of its own; the test images and text as bytes.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "console.h"

namespace corvella::testing {

inline const std::filesystem::path kImages = std::filesystem::path(CORVELLA_TEST_DATA) / "images";

inline std::vector<uint8_t> TextBytes(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

/// What a run of the command left behind.
struct CommandResult {
  int status = -1;
  std::string out;  ///< standard output (bytes)
  std::string err;  ///< standard error
};

/// A stream whose bytes are kept in memory.
class MemoryStream {
 public:
  MemoryStream() : file_(::open_memstream(&data_, &size_)) {}
  ~MemoryStream() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(data_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  std::FILE* File() const { return file_; }
  std::string Bytes() {
    std::fflush(file_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

/// Runs a subcommand in this process, with @p folder as the working folder.
inline CommandResult RunInProcess(int (*run)(cli::Arguments, cli::Console&),
                                  const std::vector<std::string>& args,
                                  const std::filesystem::path& folder, bool errIsTerminal = false,
                                  bool outIsTerminal = false) {
  MemoryStream out;
  MemoryStream err;
  cli::Console console{out.File(), err.File(), outIsTerminal, errIsTerminal, folder};
  CommandResult result;
  result.status = run(args, console);
  result.out = out.Bytes();
  result.err = err.Bytes();
  return result;
}

/// Runs the built corvella program with @p args in @p folder, standard input from /dev/null.
inline CommandResult RunProcess(const std::vector<std::string>& args,
                                const std::filesystem::path& folder) {
  const std::filesystem::path outFile = folder / ".stdout";
  const std::filesystem::path errFile = folder / ".stderr";
  std::vector<std::string> argvText = {CORVELLA_CLI_PATH};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argvText)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t child = ::fork();
  if (child == 0) {
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || ::chdir(folder.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  CommandResult result;
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  auto slurp = [](const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  result.out = slurp(outFile);
  result.err = slurp(errFile);
  std::filesystem::remove(outFile);
  std::filesystem::remove(errFile);
  return result;
}

}  // namespace corvella::testing
