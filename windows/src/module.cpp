// The DLL's entry points, its module counters, the type information cache and registration.

#include "module.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "com_bridge.h"
#include "corvella/component/identity.h"
#include "pictron_object.h"

namespace corvella::com {

namespace {

HMODULE thisModule = nullptr;
std::atomic<long> liveObjects{0};
std::atomic<long> moduleLocks{0};

std::mutex typeLibraryMutex;
ITypeLib* typeLibrary = nullptr;       // guarded by typeLibraryMutex
ITypeInfo* pictronTypeInfo = nullptr;  // guarded by typeLibraryMutex

GUID ToGuid(const component::Guid& id) {
  GUID guid;
  guid.Data1 = id.data1;
  guid.Data2 = id.data2;
  guid.Data3 = id.data3;
  std::memcpy(guid.Data4, id.data4, sizeof guid.Data4);
  return guid;
}

const GUID clsidPictron = ToGuid(component::kClsidPictron);
const GUID iidPictron = ToGuid(component::kIidPictron);
const GUID libidCorvella = ToGuid(component::kLibidCorvella);

std::wstring GuidText(const component::Guid& id) {
  std::string text = id.ToString();
  return std::wstring(text.begin(), text.end());
}

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

// Writes one string value (the default one when @p name is null) under HKEY_CLASSES_ROOT.
LONG SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE, nullptr, &handle, nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return result;
}

// Removes a key with everything below it; a key that is not there is not an error.
LONG DeleteTree(const std::wstring& key) {
  LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  if (result == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (result == ERROR_SUCCESS) RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
  return result;
}

bool KeyExists(const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

}  // namespace

const GUID& ClsidPictron() {
  return clsidPictron;
}
const GUID& IidPictron() {
  return iidPictron;
}
const GUID& LibidCorvella() {
  return libidCorvella;
}

void ObjectCreated() {
  ++liveObjects;
}

void ObjectDestroyed() {
  --liveObjects;
}

void LockModule(bool lock) {
  if (lock) {
    ++moduleLocks;
  } else {
    --moduleLocks;
  }
}

bool ModuleIdle() {
  return liveObjects.load() == 0 && moduleLocks.load() == 0;
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(thisModule, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

ITypeInfo* PictronTypeInfo(HRESULT& failure) noexcept try {
  std::lock_guard lock(typeLibraryMutex);
  if (pictronTypeInfo == nullptr) {
    const std::wstring path = ModulePath();
    ITypeLib* library = nullptr;
    failure = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(failure)) return nullptr;
    ITypeInfo* info = nullptr;
    failure = library->GetTypeInfoOfGuid(iidPictron, &info);
    if (FAILED(failure)) {
      library->Release();
      return nullptr;
    }
    typeLibrary = library;
    pictronTypeInfo = info;
  }
  pictronTypeInfo->AddRef();
  failure = S_OK;
  return pictronTypeInfo;
} catch (...) {
  failure = E_UNEXPECTED;
  return nullptr;
}

void ReleaseTypeInfo() noexcept try {
  std::lock_guard lock(typeLibraryMutex);
  if (pictronTypeInfo != nullptr) pictronTypeInfo->Release();
  if (typeLibrary != nullptr) typeLibrary->Release();
  pictronTypeInfo = nullptr;
  typeLibrary = nullptr;
} catch (...) {
  // The library stays cached; it is released with the process.
}

HRESULT RegisterServer() {
  const std::wstring path = ModulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  const std::wstring clsidKey = L"CLSID\\" + GuidText(component::kClsidPictron);
  const std::wstring progId(component::kProgIdPictron.begin(), component::kProgIdPictron.end());
  const std::wstring clsidText = GuidText(component::kClsidPictron);

  // The class, an in-process server for single-threaded apartments.
  LONG result = SetValue(clsidKey, nullptr, L"Pictron");
  if (result == ERROR_SUCCESS) result = SetValue(clsidKey + L"\\InprocServer32", nullptr, path);
  if (result == ERROR_SUCCESS) {
    result = SetValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  }
  // The ProgID, pointing at the class.
  if (result == ERROR_SUCCESS) result = SetValue(progId, nullptr, L"Pictron");
  if (result == ERROR_SUCCESS) result = SetValue(progId + L"\\CLSID", nullptr, clsidText);
  if (result != ERROR_SUCCESS) {
    UnregisterServer();
    return HRESULT_FROM_WIN32(result);
  }

  // The type library; registering it also enters _Pictron as marshalled by the type library.
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
  if (SUCCEEDED(hr)) {
    hr = RegisterTypeLib(library, const_cast<LPOLESTR>(path.c_str()), nullptr);
    library->Release();
  }
  if (FAILED(hr)) {
    UnregisterServer();
    return hr;
  }
  return S_OK;
}

HRESULT UnregisterServer() {
  const std::wstring progId(component::kProgIdPictron.begin(), component::kProgIdPictron.end());
  LONG classResult = DeleteTree(L"CLSID\\" + GuidText(component::kClsidPictron));
  LONG progIdResult = DeleteTree(progId);
  // Removes the library's entry for this platform and the interfaces it registered; a library
  // that is not registered is not an error.
  UnRegisterTypeLib(libidCorvella, 1, 0, LOCALE_NEUTRAL, kSysKind);
  const std::wstring libraryKey = L"TypeLib\\" + GuidText(component::kLibidCorvella);
  const std::wstring interfaceKey = L"Interface\\" + GuidText(component::kIidPictron);
  // Another platform's registration of the same library keeps the interface entry.
  if (!KeyExists(libraryKey) && KeyExists(interfaceKey)) DeleteTree(interfaceKey);
  if (classResult != ERROR_SUCCESS) return HRESULT_FROM_WIN32(classResult);
  if (progIdResult != ERROR_SUCCESS) return HRESULT_FROM_WIN32(progIdResult);
  return S_OK;
}

}  // namespace corvella::com

// ----------------------------------------------------------------------------------------------
// The four exported entry points and the DLL's entry point.

// Thread notifications stay on: the statically linked C++ runtime cleans up per-thread data
// through them.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) corvella::com::thisModule = instance;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  using namespace corvella::com;
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, ClsidPictron())) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) PictronFactory();
  if (factory == nullptr) return E_OUTOFMEMORY;
  HRESULT result = factory->QueryInterface(iid, object);
  factory->Release();
  return result;
}

STDAPI DllCanUnloadNow() {
  if (!corvella::com::ModuleIdle()) return S_FALSE;
  corvella::com::ReleaseTypeInfo();
  return S_OK;
}

STDAPI DllRegisterServer() {
  try {
    return corvella::com::RegisterServer();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDAPI DllUnregisterServer() {
  try {
    return corvella::com::UnregisterServer();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}
