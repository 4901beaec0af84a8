#pragma once
// What the batch commands (convert --batch, thumbnail) share: the check that no output is an
// input or another output, and the run of the files on several workers with one progress bar.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console.h"

namespace corvella::cli {

/// The most workers a batch runs on.
inline constexpr int32_t kMaxJobs = 64;

/// The default number of workers: the processors the system reports (1 when it does not say).
int32_t DefaultJobs();

/// The value of --jobs: a whole number from 1 to kMaxJobs; UsageError otherwise.
int32_t ParseJobs(std::string_view text);

/// Refuses, with a UsageError, outputs that would overwrite an input or each other, before
/// anything is converted. Names are compared as the object maps them, and files that exist are
/// compared by identity (device and inode, links resolved), so that an output folder that is a
/// link to the input folder, or an output name that is a link to an input, is caught too.
void CheckOutputs(const Console& console, const std::vector<std::string>& inputs,
                  const std::vector<std::string>& outputs);

/// Runs @p work(i) for every input i on up to @p jobs workers (each file on one worker, in no
/// fixed order), drawing the progress bar and printing "INPUT: error NUMBER (SOURCE):
/// DESCRIPTION" for each file whose work throws; the other files go on. Answers the number of
/// files that failed.
size_t RunBatch(Console& console, const std::vector<std::string>& inputs, int32_t jobs,
                const std::function<void(size_t)>& work);

}  // namespace corvella::cli
