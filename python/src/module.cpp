// The extension corvella._corvella: the class Pictron, from_numpy, and the translation of the
// component's errors into corvella.Error.

#include "corvella/platform/error.h"
#include "python_object.h"

namespace corvella::python {

namespace {

// corvella.Error, defined in Python (corvella/_error.py) so that it pickles between processes.
PyObject* ErrorType() {
  static PyObject* type =
      py::object(py::module_::import("corvella._error").attr("Error")).release().ptr();
  return type;
}

void RaiseError(const platform::Error& error) {
  py::object instance = py::reinterpret_borrow<py::object>(ErrorType())(
      error.Number(), error.Source().empty() ? platform::kComponentSource : error.Source(),
      error.Description());
  PyErr_SetObject(ErrorType(), instance.ptr());
}

}  // namespace

}  // namespace corvella::python

PYBIND11_MODULE(_corvella, module) {
  namespace py = pybind11;
  using corvella::python::PythonPictron;
  py::options options;
  options.disable_function_signatures();  // each docstring starts with the member's own signature

  module.doc() = "The Corvella image component: corvella.Pictron and its members.";
  module.attr("__version__") = CORVELLA_VERSION;
  py::register_exception_translator([](std::exception_ptr raised) {
    try {
      if (raised) std::rethrow_exception(raised);
    } catch (const corvella::platform::Error& error) {
      corvella::python::RaiseError(error);
    }
  });

  py::class_<PythonPictron> cls(module, "Pictron",
                                "A working image with its settings: every member of the "
                                "component's interface under its own name.\n\n"
                                "File names are paths of the working folder at the time the "
                                "object was made; a name with a backslash is taken as it is.");
  cls.def(py::init<>(), "Pictron()\n\nA new object with the default settings and no image.");
  corvella::python::BindMembers(cls);
  corvella::python::BindArrays(module, cls);
  module.def("_stubs", &corvella::python::StubText);
}
