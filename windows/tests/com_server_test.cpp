// Checks the type library embedded in corvella.dll against the component's member table (every
// member of _Pictron in slot order with its name, kind and DISPID, and the GUIDs of the library,
// the interface and the class), and the bridge's view of a foreign object that answers names only
// through IDispatchEx, as script-defined objects may. Runs under Wine:
//   com_server_test.exe PATH\corvella.dll IMAGES_FOLDER\
// The second part runs against the registered server through its vtable, as a C++ client would.
// Prints "DONE com_server_test" when everything matches.

#include <dispex.h>
#include <oaidl.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "com_bridge.h"
#include "corvella/component/identity.h"
#include "corvella/component/member_table.h"
#include "corvella/platform/text.h"
#include "corvella_h.h"

namespace {

int failures = 0;

void Check(bool condition, const std::string& what) {
  std::printf("%s %s\n", condition ? "ok  " : "FAIL", what.c_str());
  if (!condition) ++failures;
}

bool Same(const GUID& guid, const corvella::component::Guid& id) {
  return guid.Data1 == id.data1 && guid.Data2 == id.data2 && guid.Data3 == id.data3 &&
         std::memcmp(guid.Data4, id.data4, sizeof guid.Data4) == 0;
}

INVOKEKIND KindOf(corvella::platform::InvokeKind kind) {
  switch (kind) {
    case corvella::platform::InvokeKind::PropertyGet:
      return INVOKE_PROPERTYGET;
    case corvella::platform::InvokeKind::PropertyPut:
      return INVOKE_PROPERTYPUT;
    default:
      return INVOKE_FUNC;
  }
}

// A script-defined object as some engines make them: GetIDsOfNames knows no name, GetDispID finds
// "Twice" without regard to case. Twice(x) writes 2 * x back into its by-reference argument and
// answers "done"; "Fail" raises an error with exception information.
class ScriptObject final : public IDispatchEx {
 public:
  static constexpr DISPID kTwice = 7;
  static constexpr DISPID kFail = 8;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    static const GUID kIidDispatchEx = {
        0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kIidDispatchEx)) {
      *object = static_cast<IDispatchEx*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) override {
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT*) override {
    return InvokeEx(id, locale, flags, parameters, result, exception, nullptr);
  }
  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD flags, DISPID* id) override {
    const bool anyCase = (flags & fdexNameCaseInsensitive) != 0;
    if ((anyCase ? lstrcmpiW(name, L"Twice") : lstrcmpW(name, L"Twice")) == 0) {
      *id = kTwice;
    } else if ((anyCase ? lstrcmpiW(name, L"Fail") : lstrcmpW(name, L"Fail")) == 0) {
      *id = kFail;
    } else {
      return DISP_E_UNKNOWNNAME;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID, WORD, DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO* exception, IServiceProvider*) override {
    if (id == kFail) {
      exception->scode = static_cast<SCODE>(0x800A1388);  // runtime error 5000
      exception->bstrSource = SysAllocString(L"Page");
      exception->bstrDescription = SysAllocString(L"refused");
      return DISP_E_EXCEPTION;
    }
    if (id != kTwice) return DISP_E_MEMBERNOTFOUND;
    if (parameters->cArgs != 1 || V_VT(&parameters->rgvarg[0]) != (VT_BYREF | VT_VARIANT)) {
      return DISP_E_TYPEMISMATCH;
    }
    VARIANT* argument = V_VARIANTREF(&parameters->rgvarg[0]);
    if (V_VT(argument) != VT_I4) return DISP_E_TYPEMISMATCH;
    V_I4(argument) *= 2;
    if (result != nullptr) {
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = SysAllocString(L"done");
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }

 private:
  ULONG references = 1;
};

// The bridge finds names through IDispatchEx, passes arguments by reference so that the callee's
// writes come back, and turns exception information into the error that reaches the script.
void CheckScriptObject() {
  using corvella::platform::InvokeKind;
  using corvella::platform::Variant;
  auto* raw = new ScriptObject();
  corvella::com::ComDispatchable object{corvella::com::ComRef<IDispatch>(raw)};
  Check(object.GetIdOfName(u"TWICE") == ScriptObject::kTwice,
        "a name found through IDispatchEx::GetDispID, without regard to case");
  Check(object.GetIdOfName(u"Thrice") == corvella::platform::kDispIdUnknown, "an unknown name");
  std::vector<Variant> arguments{Variant(int32_t{21})};
  Variant result = object.Invoke(ScriptObject::kTwice, InvokeKind::Method, arguments);
  Check(arguments[0] == Variant(int32_t{42}) && result == Variant(u"done"),
        "a by-reference argument written by the callee comes back");
  try {
    object.Invoke(ScriptObject::kFail, InvokeKind::Method, {});
    Check(false, "a failing call raises");
  } catch (const corvella::platform::Error& error) {
    Check(error.Number() == static_cast<int32_t>(0x800A1388) && error.Source() == "Page" &&
              error.Description() == "refused",
          "the callee's exception information becomes the error");
  }
}

// Arrays of Variants keep their dimensions, bounds and element order both ways (a SAFEARRAY's
// first index varies fastest, as VariantArray's does); dates stay dates, also through a typed
// reference; arrays of other element types are refused.
void CheckArraysAndDates() {
  using corvella::platform::Variant;
  using corvella::platform::VariantArray;
  using corvella::platform::VarType;
  // a(1 To 2, -1 To 1): a(i, j) = 10 * i + j, except a(2, 0) = "text", a(1, 1) = a date and
  // a(2, 1) = Array(7, Empty).
  SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  for (LONG i = 1; i <= 2; ++i) {
    for (LONG j = -1; j <= 1; ++j) {
      LONG indices[2] = {i, j};
      VARIANT item;
      VariantInit(&item);
      V_VT(&item) = VT_I4;
      V_I4(&item) = 10 * i + j;
      if (i == 2 && j == 0) {
        V_VT(&item) = VT_BSTR;
        V_BSTR(&item) = SysAllocString(L"text");
      } else if (i == 1 && j == 1) {
        V_VT(&item) = VT_DATE;
        V_DATE(&item) = 45418.75;  // 5/6/2024 6:00:00 PM
      } else if (i == 2 && j == 1) {
        SAFEARRAY* inner = SafeArrayCreateVector(VT_VARIANT, 0, 2);
        LONG first = 0;
        VARIANT seven;
        V_VT(&seven) = VT_I2;
        V_I2(&seven) = 7;
        SafeArrayPutElement(inner, &first, &seven);
        V_VT(&item) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(&item) = inner;
      }
      SafeArrayPutElement(array, indices, &item);
      VariantClear(&item);
    }
  }
  VARIANT holder;
  V_VT(&holder) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&holder) = array;
  VARIANT reference;
  V_VT(&reference) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&reference) = &holder;
  Variant value = corvella::com::FromCom(reference);
  bool same = value.Type() == VarType::VariantArray;
  if (same) {
    const VariantArray& got = value.AsArray();
    same = got.Dimensions() == 2 && got.DimensionBounds(0) == VariantArray::Bounds{1, 2} &&
           got.DimensionBounds(1) == VariantArray::Bounds{-1, 1} &&
           *got.Find(std::vector<int32_t>{1, -1}) == Variant(int32_t{9}) &&
           *got.Find(std::vector<int32_t>{2, -1}) == Variant(int32_t{19}) &&
           *got.Find(std::vector<int32_t>{1, 0}) == Variant(int32_t{10}) &&
           *got.Find(std::vector<int32_t>{2, 0}) == Variant(u"text") &&
           *got.Find(std::vector<int32_t>{1, 1}) == Variant::Date(45418.75) &&
           *got.Find(std::vector<int32_t>{2, 1}) ==
               Variant(VariantArray::FromElements({Variant(int16_t{7}), Variant()}));
    // The first index varies fastest in the core's storage too.
    same = same && got.Elements()[1] == Variant(int32_t{19});
  }
  Check(same, "a two-dimensional SAFEARRAY of VARIANTs arrives with its bounds and elements");

  VARIANT back;
  corvella::com::ToCom(value, &back);
  same = V_VT(&back) == (VT_ARRAY | VT_VARIANT) && SafeArrayGetDim(V_ARRAY(&back)) == 2;
  if (same) {
    LONG lower0 = 0, upper0 = 0, lower1 = 0, upper1 = 0;
    SafeArrayGetLBound(V_ARRAY(&back), 1, &lower0);
    SafeArrayGetUBound(V_ARRAY(&back), 1, &upper0);
    SafeArrayGetLBound(V_ARRAY(&back), 2, &lower1);
    SafeArrayGetUBound(V_ARRAY(&back), 2, &upper1);
    same = lower0 == 1 && upper0 == 2 && lower1 == -1 && upper1 == 1;
    for (LONG i = 1; same && i <= 2; ++i) {
      for (LONG j = -1; same && j <= 1; ++j) {
        LONG indices[2] = {i, j};
        VARIANT original;
        VARIANT copy;
        VariantInit(&original);
        VariantInit(&copy);
        SafeArrayGetElement(array, indices, &original);
        SafeArrayGetElement(V_ARRAY(&back), indices, &copy);
        if (V_VT(&original) == (VT_ARRAY | VT_VARIANT)) {
          LONG first = 0;
          VARIANT seven;
          VariantInit(&seven);
          same = V_VT(&copy) == V_VT(&original) &&
                 SUCCEEDED(SafeArrayGetElement(V_ARRAY(&copy), &first, &seven)) &&
                 V_VT(&seven) == VT_I2 && V_I2(&seven) == 7;
          VariantClear(&seven);
        } else {
          same = VarCmp(&original, &copy, LOCALE_USER_DEFAULT, 0) == VARCMP_EQ &&
                 V_VT(&original) == V_VT(&copy);
        }
        VariantClear(&original);
        VariantClear(&copy);
      }
    }
  }
  Check(same, "and goes back as a SAFEARRAY of VARIANTs with the same bounds and elements");
  VariantClear(&back);
  VariantClear(&holder);

  corvella::com::ToCom(Variant(VariantArray()), &back);
  Check(V_VT(&back) == (VT_ARRAY | VT_VARIANT) && V_ARRAY(&back) == nullptr,
        "an array not yet dimensioned goes out as a null SAFEARRAY");
  VARIANT date;
  V_VT(&date) = VT_DATE;
  V_DATE(&date) = 45418.5;
  Check(corvella::com::FromCom(date) == Variant::Date(45418.5), "a date arrives as a date");
  corvella::com::ToCom(Variant::Date(-1.25), &back);
  Check(V_VT(&back) == VT_DATE && V_DATE(&back) == -1.25, "a date goes out as VT_DATE");
  DATE day = 0;
  VARIANT dateReference;
  V_VT(&dateReference) = VT_BYREF | VT_DATE;
  V_DATEREF(&dateReference) = &day;
  corvella::com::WriteBack(&dateReference, Variant::Date(45418.5));
  LONG number = 0;
  VARIANT numberReference;
  V_VT(&numberReference) = VT_BYREF | VT_I4;
  V_I4REF(&numberReference) = &number;
  corvella::com::WriteBack(&numberReference, Variant::Date(45418.5));
  Check(day == 45418.5 && number == 45418,
        "a date written back through typed references (" + std::to_string(number) + ")");
  VARIANT money;
  V_VT(&money) = VT_CY;
  V_CY(&money).int64 = -12345;
  Check(corvella::com::FromCom(money) == Variant::Currency(-12345), "VT_CY arrives as Currency");
  corvella::com::ToCom(Variant::Currency(15000), &back);
  Check(V_VT(&back) == VT_CY && V_CY(&back).int64 == 15000, "Currency goes out as VT_CY");

  SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 0, 1);
  VARIANT textArray;
  V_VT(&textArray) = VT_ARRAY | VT_BSTR;
  V_ARRAY(&textArray) = texts;
  try {
    corvella::com::FromCom(textArray);
    Check(false, "an array of strings is refused");
  } catch (const corvella::platform::Error& error) {
    Check(error.Number() == static_cast<int32_t>(corvella::platform::kRuntimeErrorBase | 13),
          "an array of strings is refused with runtime error 13");
  }
  VariantClear(&textArray);
}

// The entry points, called directly: the class factory for Pictron's CLSID only, and unloading
// allowed only while no object and no lock is held.
void CheckEntryPoints(const wchar_t* path) {
  HMODULE module = LoadLibraryW(path);
  Check(module != nullptr, "the DLL loads");
  if (module == nullptr) return;
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
  auto getClassObject =
      reinterpret_cast<GetClassObject>(GetProcAddress(module, "DllGetClassObject"));
  auto canUnloadNow = reinterpret_cast<CanUnloadNow>(GetProcAddress(module, "DllCanUnloadNow"));
  Check(getClassObject != nullptr && canUnloadNow != nullptr &&
            GetProcAddress(module, "DllRegisterServer") != nullptr &&
            GetProcAddress(module, "DllUnregisterServer") != nullptr,
        "the four entry points are exported");
  if (getClassObject == nullptr || canUnloadNow == nullptr) return;
  GUID clsid;
  std::memcpy(&clsid, &corvella::component::kClsidPictron, sizeof clsid);
  void* object = nullptr;
  Check(getClassObject(IID_IDispatch, IID_IClassFactory, &object) == CLASS_E_CLASSNOTAVAILABLE &&
            object == nullptr,
        "another CLSID is refused");
  Check(canUnloadNow() == S_OK, "unloadable while unused");
  IClassFactory* factory = nullptr;
  Check(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK &&
            factory != nullptr,
        "the class factory of Pictron");
  if (factory == nullptr) return;
  IDispatch* created = nullptr;
  Check(
      factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&created)) == S_OK &&
          created != nullptr,
      "the factory creates an object");
  factory->LockServer(TRUE);
  factory->Release();
  Check(canUnloadNow() == S_FALSE, "not unloadable while an object lives");
  if (created != nullptr) created->Release();
  Check(canUnloadNow() == S_FALSE, "not unloadable while the factory is locked");
  getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  factory->Release();
  Check(canUnloadNow() == S_OK, "unloadable again");
  FreeLibrary(module);
}

// The vtable of the registered server: error information, and in/out parameters passed as typed
// references (as compiled clients pass them) written back in their own types.
void CheckVtable(const std::wstring& images) {
  GUID clsid;
  GUID iid;
  std::memcpy(&clsid, &corvella::component::kClsidPictron, sizeof clsid);
  std::memcpy(&iid, &corvella::component::kIidPictron, sizeof iid);
  _Pictron* pictron = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                reinterpret_cast<void**>(&pictron));
  Check(SUCCEEDED(hr) && pictron != nullptr, "CoCreateInstance of the registered class");
  if (pictron == nullptr) return;
  ISupportErrorInfo* support = nullptr;
  Check(SUCCEEDED(
            pictron->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))) &&
            support->InterfaceSupportsErrorInfo(iid) == S_OK,
        "_Pictron supports error information");
  if (support != nullptr) support->Release();

  VARIANT name;
  VariantInit(&name);
  V_VT(&name) = VT_BSTR;
  V_BSTR(&name) = SysAllocString(L"");
  hr = pictron->OpenFile(&name);
  IErrorInfo* info = nullptr;
  BSTR source = nullptr;
  BSTR description = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
    info->GetSource(&source);
    info->GetDescription(&description);
    info->Release();
  }
  Check(hr == static_cast<HRESULT>(0x800403E8) && source != nullptr &&
            std::wstring(source) == L"Corvella.Pictron" && description != nullptr &&
            std::wstring(description) == L"Empty file name (Error 1000)",
        "OpenFile of an empty name returns 0x800403E8 with its error information");
  SysFreeString(source);
  SysFreeString(description);
  VariantClear(&name);

  V_VT(&name) = VT_BSTR;
  V_BSTR(&name) = SysAllocString((images + L"egret_600x450.jpg").c_str());
  Check(pictron->OpenFile(&name) == S_OK, "OpenFile through the vtable");
  VariantClear(&name);
  LONG width = 200;
  LONG height = 0;
  VARIANT widthArgument;
  VARIANT heightArgument;
  V_VT(&widthArgument) = VT_BYREF | VT_I4;
  V_I4REF(&widthArgument) = &width;
  V_VT(&heightArgument) = VT_BYREF | VT_I4;
  V_I4REF(&heightArgument) = &height;
  hr = pictron->Resample(&widthArgument, &heightArgument);
  Check(
      hr == S_OK && width == 200 && height == 150,
      "Resample writes the height back through a typed reference (" + std::to_string(height) + ")");
  pictron->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: com_server_test PATH\\corvella.dll IMAGES_FOLDER\\\n");
    return 2;
  }
  CheckScriptObject();
  CheckArraysAndDates();
  CoInitialize(nullptr);
  CheckEntryPoints(argv[1]);
  CheckVtable(argv[2]);

  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(argv[1], REGKIND_NONE, &library);
  Check(SUCCEEDED(hr), "the DLL holds a type library");
  if (FAILED(hr)) return 1;

  TLIBATTR* libraryAttributes = nullptr;
  library->GetLibAttr(&libraryAttributes);
  Check(Same(libraryAttributes->guid, corvella::component::kLibidCorvella) &&
            libraryAttributes->wMajorVerNum == 1 && libraryAttributes->wMinorVerNum == 0,
        "library Corvella 1.0 with the component's LIBID");
  library->ReleaseTLibAttr(libraryAttributes);
  BSTR libraryName = nullptr;
  library->GetDocumentation(-1, &libraryName, nullptr, nullptr, nullptr);
  Check(libraryName != nullptr && std::wstring(libraryName) == L"Corvella",
        "library name Corvella");
  SysFreeString(libraryName);

  GUID iid;
  {
    GUID clsid;
    std::memset(&clsid, 0, sizeof clsid);
    ITypeInfo* coclass = nullptr;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
      TYPEKIND kind;
      library->GetTypeInfoType(i, &kind);
      if (kind == TKIND_COCLASS) library->GetTypeInfo(i, &coclass);
    }
    Check(coclass != nullptr, "the library holds a coclass");
    if (coclass == nullptr) return 1;
    TYPEATTR* attributes = nullptr;
    coclass->GetTypeAttr(&attributes);
    clsid = attributes->guid;
    coclass->ReleaseTypeAttr(attributes);
    BSTR name = nullptr;
    coclass->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    Check(name != nullptr && std::wstring(name) == L"Pictron" &&
              Same(clsid, corvella::component::kClsidPictron),
          "coclass Pictron with the component's CLSID");
    SysFreeString(name);
    HREFTYPE reference;
    coclass->GetRefTypeOfImplType(0, &reference);
    ITypeInfo* interfaceInfo = nullptr;
    coclass->GetRefTypeInfo(reference, &interfaceInfo);
    interfaceInfo->GetTypeAttr(&attributes);
    iid = attributes->guid;
    interfaceInfo->ReleaseTypeAttr(attributes);
    interfaceInfo->Release();
    coclass->Release();
  }
  Check(Same(iid, corvella::component::kIidPictron), "the default interface is _Pictron");

  ITypeInfo* info = nullptr;
  library->GetTypeInfoOfGuid(iid, &info);
  TYPEATTR* attributes = nullptr;
  info->GetTypeAttr(&attributes);
  const WORD flags = attributes->wTypeFlags;
  Check(attributes->typekind == TKIND_DISPATCH && (flags & TYPEFLAG_FDUAL) != 0 &&
            (flags & TYPEFLAG_FHIDDEN) != 0 && (flags & TYPEFLAG_FNONEXTENSIBLE) != 0,
        "_Pictron is dual, hidden and non-extensible");
  info->ReleaseTypeAttr(attributes);

  // The vtable side of the dual interface lists the methods in slot order after IDispatch's 7.
  HREFTYPE vtableReference;
  ITypeInfo* vtable = nullptr;
  if (SUCCEEDED(info->GetRefTypeOfImplType(-1, &vtableReference)) &&
      SUCCEEDED(info->GetRefTypeInfo(vtableReference, &vtable))) {
    info->Release();
    info = vtable;
  }
  info->GetTypeAttr(&attributes);
  Check(attributes->typekind == TKIND_INTERFACE &&
            (attributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) != 0,
        "its vtable interface is OLE-Automation compatible");
  const auto members = corvella::component::PictronMembers();
  Check(attributes->cFuncs == members.size(),
        "47 members (" + std::to_string(attributes->cFuncs) + ")");
  for (size_t i = 0; i < members.size() && i < attributes->cFuncs; ++i) {
    const auto& member = members[i].info;
    FUNCDESC* function = nullptr;
    info->GetFuncDesc(static_cast<UINT>(i), &function);
    BSTR name = nullptr;
    UINT count = 0;
    info->GetNames(function->memid, &name, 1, &count);
    const std::string actual = corvella::platform::WideToUtf8(
        std::u16string(reinterpret_cast<const char16_t*>(name), SysStringLen(name)));
    char line[160];
    std::snprintf(line, sizeof line, "slot %2d %-20s DISPID 0x%08X", member.slot, actual.c_str(),
                  static_cast<unsigned>(function->memid));
    Check(member.slot == static_cast<int>(i + 1) && actual == member.name &&
              function->memid == member.dispid && function->invkind == KindOf(member.kind) &&
              function->oVft == static_cast<SHORT>((7 + i) * sizeof(void*)),
          line);
    SysFreeString(name);
    info->ReleaseFuncDesc(function);
  }
  info->ReleaseTypeAttr(attributes);
  info->Release();
  library->Release();
  CoUninitialize();
  std::printf(failures == 0 ? "DONE com_server_test\n" : "FAILED com_server_test: %d\n", failures);
  return failures == 0 ? 0 : 1;
}
