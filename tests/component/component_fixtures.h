#pragma once
// Set-up shared by the component's tests: the test images, paths as the object takes them, a page
// whose site is a temporary folder, and a decoded working image put in place directly.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "corvella/component/pictron.h"
#include "corvella/host/page_host.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/platform/text.h"
#include "pictron_internal.h"
#include "support/temp_folder.h"

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

}  // namespace corvella::component::test
