// Python values to automation values and back, and the page that binds a Python-made object.

#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>

#include "corvella/platform/byte_array.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "python_object.h"

namespace corvella::python {

using platform::ByteArray;
using platform::ParamType;
using platform::Variant;
using platform::VarType;

namespace {

// The page's virtual path: the working folder, as a folder ("/home/user/photos/").
std::u16string WorkingFolderPage() {
  std::string page = std::filesystem::current_path().generic_string();
  if (page.empty() || page.back() != '/') page += '/';
  return platform::Utf8ToWide(page);
}

// Strings cross as UTF-16 with lone surrogates kept, so that nothing is lost either way.
std::u16string ToWide(py::handle text) {
  py::object encoded = py::reinterpret_steal<py::object>(
      PyUnicode_AsEncodedString(text.ptr(), "utf-16-le", "surrogatepass"));
  if (!encoded) throw py::error_already_set();
  char* data = nullptr;
  Py_ssize_t size = 0;
  PyBytes_AsStringAndSize(encoded.ptr(), &data, &size);
  std::u16string wide(static_cast<size_t>(size) / 2, u'\0');
  std::memcpy(wide.data(), data, wide.size() * 2);
  return wide;
}

py::object FromWide(const std::u16string& wide) {
  int byteOrder = -1;  // little-endian
  PyObject* text =
      PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(wide.data()),
                            static_cast<Py_ssize_t>(wide.size() * 2), "surrogatepass", &byteOrder);
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(text);
}

// An object with the buffer protocol, contiguous or not, as a zero-based byte array; nothing for
// a scalar (numpy's numbers have the protocol too) unless bytes are wanted.
std::optional<ByteArray> ToByteArray(py::handle value, bool wanted) {
  if (!PyObject_CheckBuffer(value.ptr())) return std::nullopt;
  Py_buffer view;
  if (PyObject_GetBuffer(value.ptr(), &view, PyBUF_FULL_RO) != 0) throw py::error_already_set();
  try {
    std::optional<ByteArray> bytes;
    if (view.ndim > 0 || wanted) {
      bytes = ByteArray::AllocateForOverwrite(static_cast<size_t>(view.len));
      if (view.len > 0 && PyBuffer_ToContiguous(bytes->Data(), &view, view.len, 'C') != 0) {
        throw py::error_already_set();
      }
    }
    PyBuffer_Release(&view);
    return bytes;
  } catch (...) {
    PyBuffer_Release(&view);
    throw;
  }
}

}  // namespace

PythonPictron::PythonPictron()
    : page_(std::make_shared<host::PageContext>(u"/", WorkingFolderPage(),
                                                host::PathSyntax::Literal)),
      object_(std::make_shared<component::Pictron>()),
      pictron_(static_cast<component::Pictron*>(object_.get())) {
  platform::CallMethod(object_, u"OnStartPage", {Variant(platform::ObjectRef(page_))});
}

PythonPictron::~PythonPictron() = default;

Variant ToVariant(py::handle value, const platform::ParamInfo* param) {
  if (value.is_none()) {
    if (param != nullptr && param->IsOptional()) return Variant::Missing();
    if (param != nullptr && param->type == ParamType::Object) return Variant(platform::ObjectRef());
    return Variant();
  }
  if (PyBool_Check(value.ptr())) return Variant::Bool(value.ptr() == Py_True);
  if (PyUnicode_Check(value.ptr())) return Variant(ToWide(value));
  if (py::isinstance<PythonPictron>(value)) return Variant(value.cast<PythonPictron&>().Object());
  if (!PyLong_Check(value.ptr()) && !PyFloat_Check(value.ptr())) {
    if (auto bytes = ToByteArray(value, param != nullptr && param->type == ParamType::ByteArray)) {
      return Variant(std::move(*bytes));
    }
  }
  if (PyIndex_Check(value.ptr())) {
    int overflow = 0;
    py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    long long number = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow == 0 && number >= INT32_MIN && number <= INT32_MAX) {
      return Variant(static_cast<int32_t>(number));
    }
    // Beyond 32 bits a number is a double, and the member's coercion reports the overflow.
    return Variant(overflow < 0   ? -HUGE_VAL
                   : overflow > 0 ? HUGE_VAL
                                  : static_cast<double>(number));
  }
  if (PyFloat_Check(value.ptr()) || PyNumber_Check(value.ptr())) {
    double number = PyFloat_AsDouble(value.ptr());
    if (number == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return Variant(number);
  }
  throw py::type_error(std::string("a ") + Py_TYPE(value.ptr())->tp_name +
                       " cannot be passed to a member" +
                       (param != nullptr ? " as " + std::string(param->name) : std::string()));
}

py::object ToPython(const Variant& value) {
  switch (value.Type()) {
    case VarType::I2:
      return py::int_(value.AsI2());
    case VarType::I4:
      return py::int_(value.AsI4());
    case VarType::UI1:
      return py::int_(value.AsUI1());
    case VarType::R4:
      return py::float_(value.AsR4());
    case VarType::R8:
      return py::float_(value.AsR8());
    case VarType::Cy:  // exactly, as decimal.Decimal("1.2346")
      return py::module_::import("decimal").attr("Decimal")(FromWide(value.ToBStr()));
    case VarType::Date:
      return py::float_(value.AsDate());
    case VarType::Bool:
      return py::bool_(value.AsBool() != 0);
    case VarType::BStr:
      return FromWide(value.AsBStr());
    case VarType::ByteArray: {
      auto bytes = value.AsByteArray().Bytes();
      return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    default:  // Empty, Null, Missing; no member answers an object or an array
      return py::none();
  }
}

}  // namespace corvella::python
