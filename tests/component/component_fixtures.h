#pragma once
// Set-up shared by the component's tests: the test images, paths as the object takes them, a page
// whose site is a temporary folder, a decoded working image put in place directly, and a cap on
// the address space of a child process (not under the sanitizers, which reserve far more).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "corvella/component/pictron.h"
#include "corvella/host/page_host.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/platform/text.h"
#include "pictron_internal.h"
#include "support/temp_folder.h"

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define CORVELLA_CAP_ADDRESS_SPACE 1
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace corvella::component::test {

inline const std::filesystem::path kImages = std::filesystem::path(CORVELLA_TEST_DATA) / "images";

inline std::u16string Wide(const std::filesystem::path& path) {
  return platform::Utf8ToWide(path.string());
}

/// A physical path written with backslashes, used as it stands (no page needed to map it).
inline std::u16string Physical(const std::filesystem::path& path) {
  return platform::Utf8ToWide(testing::WebPath(path));
}

/// A page at /index.asp whose site root is @p folder, so that "name.jpg" maps into it.
struct Page {
  explicit Page(const testing::TempFolder& folder)
      : context(std::make_shared<host::PageContext>(Wide(folder.Path()), u"/index.asp")) {}
  std::shared_ptr<host::PageContext> context;
  host::PageResponse& Response() { return *context->Response(); }
};

/// Makes @p dib the decoded working image of @p p, as after opening an image of
/// openedWidth x openedHeight (the dib's own size when 0), changing it to dib's size and decoding.
inline void GiveImage(Pictron& p, std::unique_ptr<imaging::cDIBSection> dib,
                      int32_t openedWidth = 0, int32_t openedHeight = 0) {
  PictronState& s = PictronAccess::State(p);
  s.lngWidth = dib->dib_width();
  s.lngHeight = dib->dib_height();
  s.lngOriginalWidth = openedWidth ? openedWidth : s.lngWidth;
  s.lngOriginalHeight = openedHeight ? openedHeight : s.lngHeight;
  s.cDib = std::move(dib);
  s.blDecoded = platform::kVbTrue;
}

#if defined(CORVELLA_CAP_ADDRESS_SPACE)
/// Caps the address space at what the process maps now plus @p headroom bytes; exits the process
/// with 3 or 4 when it cannot.
inline void CapAddressSpace(size_t headroom) {
  long pages = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  if (pages <= 0) std::_Exit(3);
  rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + headroom;
  rlimit limit{cap, cap};
  if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(4);
}
#endif

}  // namespace corvella::component::test
