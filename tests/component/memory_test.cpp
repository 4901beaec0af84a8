// Peak memory of the thumbnail job on the largest test image (seeding_5312x2988_base.jpg: open,
// Resample(200, 0), Quality 75, SaveFile): it must fit in 1.3 x (the decoded bitmap + the file's
// bytes). Measured as the address space that the job adds to the process: the job runs in a
// child process whose address space is capped at what it already maps plus that budget, so
// every allocation of the component and its libraries counts, and nothing of the process's own
// (code, libraries loaded before, the test framework) does. A second child with a cap of only
// the bitmap shows that the cap bites: there the job cannot decode. Sanitizers reserve far more
// address space than any cap, so their builds skip this.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "component/component_fixtures.h"
#include "corvella/imaging/dib_section.h"

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define CORVELLA_CAP_ADDRESS_SPACE 1
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace corvella::component {
namespace {

const std::filesystem::path kImage = test::kImages / "seeding_5312x2988_base.jpg";

#if defined(CORVELLA_CAP_ADDRESS_SPACE)
using test::Physical;

// Caps the address space at what the process maps now plus @p budget bytes.
void CapAddressSpace(size_t budget) {
  long pages = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  if (pages <= 0) std::_Exit(3);
  rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + budget;
  rlimit limit{cap, cap};
  if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(4);
}

// The thumbnail job in a capped child: exit 0 when it made a 200 x 112 JPEG file, 1 when it did
// not, 2 when it raised.
[[noreturn]] void ThumbnailJob(size_t budget, const std::filesystem::path& out) {
  CapAddressSpace(budget);
  try {
    Pictron p;
    p.OpenFile(Physical(kImage));
    int32_t w = 200, h = 0;
    p.Resample(w, h);
    p.Quality(75);
    platform::Variant target(Physical(out));
    p.SaveFile(target);
    bool made = p.width() == 200 && p.Height() == 112 && std::filesystem::file_size(out) > 1000;
    std::_Exit(made ? 0 : 1);
  } catch (...) {
    std::_Exit(2);
  }
}
#endif

TEST(Memory, ThumbnailJobFitsInItsBitmapAndFileWithThirtyPercentToSpare) {
#if !defined(CORVELLA_CAP_ADDRESS_SPACE)
  GTEST_SKIP() << "needs an address space cap, which conflicts with the sanitizers";
#else
  imaging::cDIBSection probe;
  ASSERT_TRUE(probe.Create(5312, 1));
  const size_t bitmap = static_cast<size_t>(probe.BytesPerScanLine()) * 2988;  // rows padded
  const size_t file = std::filesystem::file_size(kImage);
  const size_t budget = (bitmap + file) * 13 / 10;
  testing::TempFolder folder;
  EXPECT_EXIT(ThumbnailJob(budget, folder / "thumb.jpg"), ::testing::ExitedWithCode(0), "")
      << "the job needs more than " << budget << " bytes";
  // Control: with room for the bitmap alone, the image cannot even be decoded, which Resample
  // reports (runtime error 7) instead of doing nothing.
  EXPECT_EXIT(ThumbnailJob(bitmap, folder / "thumb2.jpg"), ::testing::ExitedWithCode(2), "");
#endif
}

}  // namespace
}  // namespace corvella::component
