// The working image as a numpy array and back: H x W x 3 RGB uint8 copies, top row first.

#include <pybind11/numpy.h>

#include <vector>

#include "corvella/codec/picture_writer.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/platform/byte_array.h"
#include "corvella/platform/error.h"
#include "python_object.h"

namespace corvella::python {

namespace {

using platform::Variant;

// A copy of the working image, decoding it first as the pixel members do (which leaves the object
// decoded, so that saving afterwards encodes anew).
py::array ToNumpy(PythonPictron& self) {
  std::unique_lock<std::mutex> lock(self.Mutex(), std::defer_lock);
  const imaging::cDIBSection* image = nullptr;
  {
    py::gil_scoped_release released;
    lock.lock();
    image = self.Pictron().DecodedImage();
  }
  if (image == nullptr) {
    platform::Raise(platform::RuntimeError::OutOfMemory,
                    "the image cannot be decoded: it is too large for this host");
  }
  const imaging::ConstImageView view = image->View();
  py::array_t<uint8_t> array({view.height, view.width, 3});
  uint8_t* out = array.mutable_data();
  py::gil_scoped_release released;
  for (int32_t y = 0; y < view.height; ++y) {
    const uint8_t* row = view.Row(y);
    uint8_t* to = out + static_cast<size_t>(y) * view.width * 3;
    for (int32_t x = 0; x < view.width; ++x, row += 3, to += 3) {
      to[0] = row[2];
      to[1] = row[1];
      to[2] = row[0];
    }
  }
  return array;
}

// An object whose working image is @p array: H x W grey, H x W x 1 grey or H x W x 3 RGB, uint8,
// any strides. The pixels go in as a BMP through OpenBinary and are decoded at once, so the object
// is as if a BMP had been opened and an operation had run.
std::unique_ptr<PythonPictron> FromNumpy(const py::array& array) {
  if (array.dtype().kind() != 'u' || array.itemsize() != 1) {
    throw py::type_error("from_numpy needs an array of uint8, not " +
                         py::str(array.dtype()).cast<std::string>());
  }
  const bool grey = array.ndim() == 2 || (array.ndim() == 3 && array.shape(2) == 1);
  if (!grey && !(array.ndim() == 3 && array.shape(2) == 3)) {
    throw py::value_error("from_numpy needs an H x W (grey) or H x W x 3 (RGB) array");
  }
  const py::ssize_t height = array.shape(0);
  const py::ssize_t width = array.shape(1);
  if (height <= 0 || width <= 0 || height > INT32_MAX / 4 || width > INT32_MAX / 4) {
    throw py::value_error("from_numpy: the array has no pixels or is too large");
  }
  const py::ssize_t rowStride = array.strides(0);
  const py::ssize_t pixelStride = array.strides(1);
  const py::ssize_t channelStride = grey ? 0 : array.strides(2);
  const auto* base = static_cast<const uint8_t*>(array.data());

  auto object = std::make_unique<PythonPictron>();
  object->Run([&] {
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (py::ssize_t y = 0; y < height; ++y) {
      const uint8_t* row = base + y * rowStride;
      uint8_t* to = bgr.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
      for (py::ssize_t x = 0; x < width; ++x, to += 3) {
        const uint8_t* pixel = row + x * pixelStride;
        to[0] = pixel[2 * channelStride];
        to[1] = pixel[channelStride];
        to[2] = pixel[0];
      }
    }
    imaging::ConstImageView view{bgr.data(), static_cast<int32_t>(width),
                                 static_cast<int32_t>(height), static_cast<ptrdiff_t>(width) * 3};
    std::vector<uint8_t> bmp = codec::EncodeBmp(view);
    bgr = {};
    object->Pictron().OpenBinary(platform::ByteArray::FromBytes(bmp));
    if (object->Pictron().DecodedImage() == nullptr) {
      platform::Raise(platform::RuntimeError::OutOfMemory,
                      "the image cannot be decoded: it is too large for this host");
    }
  });
  return object;
}

}  // namespace

void BindArrays(py::module_& module, py::class_<PythonPictron>& cls) {
  cls.def("to_numpy", &ToNumpy,
          "to_numpy(self) -> numpy.ndarray\n\n"
          "A copy of the working image as an H x W x 3 array of uint8, red, green, blue, top row "
          "first. Decodes an opened image first, as the pixel members do.");
  module.def("from_numpy", &FromNumpy, py::arg("array"),
             "from_numpy(array: numpy.ndarray) -> Pictron\n\n"
             "A new Pictron whose working image is a copy of @array: H x W or H x W x 1 (grey) or "
             "H x W x 3 (red, green, blue) uint8, any strides. Its original format is BMP.");
}

}  // namespace corvella::python
