// The batch runner: output checks by name and by file identity, and a pool of worker threads
// that take the files one at a time.

#include "batch_runner.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "bound_object.h"
#include "corvella/platform/text.h"
#include "progress_bar.h"

namespace corvella::cli {

namespace {

// The physical path of a name as the object maps it, or nothing when it cannot be mapped (the
// conversion reports that).
std::optional<std::u16string> MappedPath(const Console& console, const std::string& name) {
  try {
    return ShellPath(console.workingFolder, platform::Utf8ToWide(name));
  } catch (const platform::Error&) {
    return std::nullopt;
  }
}

using FileId = std::pair<dev_t, ino_t>;

// The identity of the file a physical path reaches, links followed; nothing when there is none.
std::optional<FileId> Identity(const std::u16string& path) {
  std::string native = platform::WideToUtf8(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  struct stat status {};
  if (native.find('\0') != std::string::npos || ::stat(native.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return FileId{status.st_dev, status.st_ino};
}

}  // namespace

int32_t DefaultJobs() {
  const unsigned processors = std::thread::hardware_concurrency();
  return processors == 0 ? 1 : static_cast<int32_t>(std::min<unsigned>(processors, kMaxJobs));
}

int32_t ParseJobs(std::string_view text) {
  int32_t jobs = 0;
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), jobs);
  if (failure != std::errc() || end != text.data() + text.size() || jobs < 1 || jobs > kMaxJobs) {
    throw UsageError("--jobs: '" + std::string(text) + "' is not a whole number from 1 to " +
                     std::to_string(kMaxJobs));
  }
  return jobs;
}

void CheckOutputs(const Console& console, const std::vector<std::string>& inputs,
                  const std::vector<std::string>& outputs) {
  std::map<std::u16string, size_t> inputNames;
  std::map<FileId, size_t> inputIds;
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (auto path = MappedPath(console, inputs[i])) {
      inputNames.emplace(*path, i);
      if (auto id = Identity(*path)) inputIds.emplace(*id, i);
    }
  }
  std::map<std::u16string, size_t> outputNames;
  std::map<FileId, size_t> outputIds;
  for (size_t i = 0; i < outputs.size(); ++i) {
    auto path = MappedPath(console, outputs[i]);
    if (!path) continue;
    const std::optional<FileId> id = Identity(*path);
    auto earlier = outputNames.find(*path);
    std::optional<size_t> other;
    if (earlier != outputNames.end()) {
      other = earlier->second;
    } else if (id && outputIds.contains(*id)) {
      other = outputIds[*id];
    }
    if (other) {
      throw UsageError("'" + inputs[*other] + "' and '" + inputs[i] + "' would both be written to '" +
                       outputs[i] + "'");
    }
    std::optional<size_t> input;
    if (inputNames.contains(*path)) {
      input = inputNames[*path];
    } else if (id && inputIds.contains(*id)) {
      input = inputIds[*id];
    }
    if (input) {
      throw UsageError("'" + outputs[i] + "' would overwrite the input '" + inputs[*input] + "'");
    }
    outputNames.emplace(*path, i);
    if (id) outputIds.emplace(*id, i);
  }
}

size_t RunBatch(Console& console, const std::vector<std::string>& inputs, int32_t jobs,
                const std::function<void(size_t)>& work) {
  ProgressBar bar(console.err, console.errIsTerminal, inputs.size());
  std::mutex lock;  // guards the bar, the error stream and the counts
  std::atomic<size_t> next{0};
  size_t done = 0;
  size_t failed = 0;
  auto worker = [&] {
    for (size_t i = next++; i < inputs.size(); i = next++) {
      {
        std::lock_guard guard(lock);
        bar.Show(done, inputs[i]);
      }
      std::optional<std::string> error;
      try {
        work(i);
      } catch (...) {
        error = FormatError(CurrentError());
      }
      std::lock_guard guard(lock);
      ++done;
      if (error) {
        bar.Clear();
        std::fprintf(console.err, "%s: %s\n", inputs[i].c_str(), error->c_str());
        ++failed;
      }
    }
  };

  // The calling thread is one of the workers; a thread that cannot be started leaves its share
  // to the others.
  const size_t workers =
      std::min(inputs.size(), static_cast<size_t>(std::clamp(jobs, 1, kMaxJobs)));
  const size_t helpers = workers > 0 ? workers - 1 : 0;
  std::vector<std::thread> threads;
  for (size_t t = 0; t < helpers; ++t) {
    try {
      threads.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    }
  }
  worker();
  for (std::thread& thread : threads)
    thread.join();
  bar.Show(inputs.size(), {});
  bar.Clear();
  return failed;
}

}  // namespace corvella::cli
