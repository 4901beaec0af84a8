#pragma once
// The module-wide parts of the server: the counters that decide when the DLL may be unloaded,
// the type information of _Pictron (read from the type library embedded in the DLL), the GUIDs,
// and registration.

#include <oaidl.h>
#include <windows.h>

#include <string>

namespace corvella::com {

/// The class, interface and library identifiers (the component's own constants).
const GUID& ClsidPictron();
const GUID& IidPictron();
const GUID& LibidCorvella();

/// Objects (class factories included) alive in this module, and locks taken on the factory.
void ObjectCreated();
void ObjectDestroyed();
void LockModule(bool lock);
/// True when no object is alive and no lock is held.
bool ModuleIdle();

/// The full path of this DLL.
std::wstring ModulePath();

/// The type information of _Pictron, loaded from the DLL's own type library on first use (a new
/// reference), or nullptr with @p failure set when the library cannot be loaded.
ITypeInfo* PictronTypeInfo(HRESULT& failure) noexcept;
/// Releases the cached type library (when the module becomes idle).
void ReleaseTypeInfo() noexcept;

/// Writes the registry entries of the class, its ProgID, the type library and the interface.
HRESULT RegisterServer();
/// Removes everything that RegisterServer writes.
HRESULT UnregisterServer();

}  // namespace corvella::com
