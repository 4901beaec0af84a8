#pragma once
// What the Python class corvella.Pictron holds, the conversions between Python values and the
// automation values of the member table, and the pieces that the module's files share.

#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "corvella/component/pictron.h"
#include "corvella/host/page_host.h"
#include "corvella/platform/dispatch.h"

namespace corvella::python {

namespace py = pybind11;

/// One corvella.Pictron: a Pictron bound to a page whose paths are those of a shell in the working
/// folder of the moment the object was made. A member runs without the GIL and under the object's
/// own lock, so that threads may share an object safely and different objects run in parallel.
class PythonPictron {
 public:
  PythonPictron();
  ~PythonPictron();
  PythonPictron(const PythonPictron&) = delete;
  PythonPictron& operator=(const PythonPictron&) = delete;

  /// Runs @p body (which reaches the object) with the GIL released and the object locked. The GIL
  /// is always released before the lock is taken, so no thread waits for the lock holding it.
  template <typename Body>
  decltype(auto) Run(Body&& body) {
    py::gil_scoped_release released;
    std::lock_guard<std::mutex> lock(mutex_);
    return std::forward<Body>(body)();
  }

  /// The object as the dispatch interface sees it.
  const platform::ObjectRef& Object() const { return object_; }
  component::Pictron& Pictron() { return *pictron_; }
  /// The object's lock, for the few calls that must hold it across a return to Python.
  std::mutex& Mutex() { return mutex_; }

 private:
  std::shared_ptr<host::PageContext> page_;
  platform::ObjectRef object_;
  component::Pictron* pictron_;
  std::mutex mutex_;
};

/// A Python value as the argument @p param of a member (nullptr: a surplus argument, converted by
/// its own type). None is Missing for an optional parameter and Nothing for an object; int, float,
/// bool and str become I4 (R8 beyond 32 bits), R8, Bool and BStr; objects with the buffer
/// protocol (bytes, bytearray, memoryview, arrays) become a zero-based byte array; a
/// corvella.Pictron becomes an object reference. The member then coerces as scripts coerce.
platform::Variant ToVariant(py::handle value, const platform::ParamInfo* param);

/// An automation value as a Python value: None for Empty, Null and Missing, int, float, bool,
/// str, bytes for a byte array, a list for an array of values.
py::object ToPython(const platform::Variant& value);

/// Registers corvella.Pictron's members, one attribute per name of the member table.
void BindMembers(py::class_<PythonPictron>& cls);

/// The text of the type stubs (corvella/__init__.pyi), written from the member table.
std::string StubText();

/// Registers Pictron.to_numpy and corvella.from_numpy.
void BindArrays(py::module_& module, py::class_<PythonPictron>& cls);

}  // namespace corvella::python
