// The file-name rule shared by every host of the object.

#include "corvella/component/path_mapper.h"

namespace corvella::component {

std::u16string PhysicalPath(const PathMapper& mapper, std::u16string_view name) {
  if (name.find(u'\\') != std::u16string_view::npos) return std::u16string(name);
  return mapper.MapPath(name);
}

}  // namespace corvella::component
