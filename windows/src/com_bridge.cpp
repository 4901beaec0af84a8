#include "com_bridge.h"

#include <dispex.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "corvella/platform/text.h"

namespace corvella::com {

using platform::ByteArray;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;
using platform::VarType;

namespace {

// IDispatchEx's identifier (the import library has no definition of it).
constexpr GUID kIidDispatchEx = {
    0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// A SAFEARRAY's data, locked for direct access while this lives.
class LockedData {
 public:
  explicit LockedData(SAFEARRAY* array)
      : array_(array), locked_(SUCCEEDED(SafeArrayAccessData(array, &data_))) {}
  ~LockedData() {
    if (locked_) SafeArrayUnaccessData(array_);
  }
  LockedData(const LockedData&) = delete;
  LockedData& operator=(const LockedData&) = delete;

  bool Locked() const { return locked_; }
  void* Data() const { return data_; }

 private:
  SAFEARRAY* array_;
  void* data_ = nullptr;
  bool locked_;
};

// A one-dimensional SAFEARRAY of bytes as a ByteArray with the same bounds; a null array is an
// unallocated one.
ByteArray BytesFromSafeArray(SAFEARRAY* array) {
  if (array == nullptr) return ByteArray();
  if (SafeArrayGetDim(array) != 1) {
    Raise(RuntimeError::TypeMismatch, "only one-dimensional byte arrays are accepted");
  }
  if (SafeArrayGetElemsize(array) != 1) Raise(RuntimeError::TypeMismatch);
  LONG lower = 0;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower))) Raise(RuntimeError::SubscriptOutOfRange);
  const size_t count = array->rgsabound[0].cElements;
  const LockedData data(array);
  if (!data.Locked()) Raise(RuntimeError::TypeMismatch);
  return ByteArray::FromBytes(std::span(static_cast<const uint8_t*>(data.Data()), count), lower);
}

SAFEARRAY* SafeArrayFromBytes(const ByteArray& bytes) {
  SAFEARRAY* array =
      SafeArrayCreateVector(VT_UI1, bytes.LBound(), static_cast<ULONG>(bytes.Size()));
  if (array == nullptr) throw std::bad_alloc();
  if (bytes.Size() > 0) {
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
      SafeArrayDestroy(array);
      throw std::bad_alloc();
    }
    std::memcpy(data, bytes.Data(), bytes.Size());
    SafeArrayUnaccessData(array);
  }
  return array;
}

// A SAFEARRAY of VARIANTs as a VariantArray with the same bounds. Both store the first index
// fastest; a SAFEARRAY lists its dimensions' bounds last dimension first.
platform::VariantArray VariantsFromSafeArray(SAFEARRAY* array) {
  using platform::VariantArray;
  if (array == nullptr) return VariantArray();
  // The descriptor's own element size decides how the data is read, whatever the tag said.
  if (SafeArrayGetElemsize(array) != sizeof(VARIANT)) Raise(RuntimeError::TypeMismatch);
  const UINT dimensions = SafeArrayGetDim(array);
  std::vector<VariantArray::Bounds> bounds(dimensions);
  for (UINT d = 0; d < dimensions; ++d) {
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, d + 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, d + 1, &upper))) {
      Raise(RuntimeError::SubscriptOutOfRange);
    }
    bounds[d] = {static_cast<int32_t>(lower), static_cast<int32_t>(upper)};
  }
  VariantArray result = VariantArray::Create(bounds);
  const LockedData data(array);
  if (!data.Locked()) Raise(RuntimeError::TypeMismatch);
  const auto* items = static_cast<const VARIANT*>(data.Data());
  std::span<Variant> elements = result.Elements();
  for (size_t i = 0; i < elements.size(); ++i)
    elements[i] = FromCom(items[i]);
  return result;
}

SAFEARRAY* SafeArrayFromVariants(const platform::VariantArray& variants) {
  const std::span<const platform::VariantArray::Bounds> bounds = variants.AllBounds();
  std::vector<SAFEARRAYBOUND> dimensions(bounds.size());
  for (size_t d = 0; d < bounds.size(); ++d) {
    dimensions[d].lLbound = bounds[d].lower;
    dimensions[d].cElements = static_cast<ULONG>(bounds[d].upper - bounds[d].lower + 1);
  }
  SAFEARRAY* array =
      SafeArrayCreate(VT_VARIANT, static_cast<UINT>(dimensions.size()), dimensions.data());
  if (array == nullptr) throw std::bad_alloc();
  struct Owner {
    SAFEARRAY* array;
    ~Owner() {
      if (array != nullptr) SafeArrayDestroy(array);
    }
  } owner{array};
  {
    const LockedData data(array);
    if (!data.Locked()) throw std::bad_alloc();
    auto* items = static_cast<VARIANT*>(data.Data());
    const std::span<const Variant> elements = variants.Elements();
    for (size_t i = 0; i < elements.size(); ++i)
      ToCom(elements[i], &items[i]);
  }
  owner.array = nullptr;
  return array;
}

// Converts a value of a type the core lacks to one it has.
Variant Converted(const VARIANT& value, VARTYPE type) {
  ScopedVariant converted;
  HRESULT result = VariantChangeType(converted.get(), const_cast<VARIANT*>(&value), 0, type);
  if (FAILED(result)) throw ErrorFromHresult(result, nullptr);
  return FromCom(*converted);
}

// The text of a system error code, without the trailing line break.
std::string SystemMessage(HRESULT result) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (length > 0 && buffer != nullptr) {
    text.assign(reinterpret_cast<const char16_t*>(buffer), length);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' '))
      text.pop_back();
  }
  if (buffer != nullptr) LocalFree(buffer);
  if (text.empty()) {
    char code[32];
    std::snprintf(code, sizeof code, "Automation error 0x%08lX",
                  static_cast<unsigned long>(result));
    return code;
  }
  return platform::WideToUtf8(text);
}

}  // namespace

std::u16string FromBstr(BSTR text) {
  if (text == nullptr) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

BSTR ToBstr(std::u16string_view text) {
  BSTR result = SysAllocStringLen(reinterpret_cast<const wchar_t*>(text.data()),
                                  static_cast<UINT>(text.size()));
  if (result == nullptr) throw std::bad_alloc();
  return result;
}

Variant FromCom(const VARIANT& value) {
  const VARTYPE type = V_VT(&value);
  if (type == (VT_BYREF | VT_VARIANT)) {
    return V_VARIANTREF(&value) != nullptr ? FromCom(*V_VARIANTREF(&value)) : Variant();
  }
  if ((type & VT_ARRAY) != 0) {
    SAFEARRAY* array = (type & VT_BYREF) != 0
                           ? (V_ARRAYREF(&value) != nullptr ? *V_ARRAYREF(&value) : nullptr)
                           : V_ARRAY(&value);
    switch (type & VT_TYPEMASK) {
      case VT_UI1:
        return Variant(BytesFromSafeArray(array));
      case VT_VARIANT:
        return Variant(VariantsFromSafeArray(array));
      default:
        Raise(RuntimeError::TypeMismatch, "only arrays of bytes or of Variants are accepted");
    }
  }
  if ((type & VT_BYREF) != 0) {
    ScopedVariant direct;
    HRESULT result = VariantCopyInd(direct.get(), const_cast<VARIANT*>(&value));
    if (FAILED(result)) throw ErrorFromHresult(result, nullptr);
    return FromCom(*direct);
  }
  switch (type) {
    case VT_EMPTY:
      return Variant();
    case VT_NULL:
      return Variant::Null();
    case VT_I2:
      return Variant(static_cast<int16_t>(V_I2(&value)));
    case VT_I4:
      return Variant(static_cast<int32_t>(V_I4(&value)));
    case VT_R4:
      return Variant(V_R4(&value));
    case VT_R8:
      return Variant(V_R8(&value));
    case VT_BSTR:
      return Variant(FromBstr(V_BSTR(&value)));
    case VT_BOOL:
      return Variant::Bool(V_BOOL(&value) != VARIANT_FALSE);
    case VT_UI1:
      return Variant::Byte(V_UI1(&value));
    case VT_ERROR:
      return Variant::ErrorCode(static_cast<int32_t>(V_ERROR(&value)));
    case VT_DISPATCH:
      if (V_DISPATCH(&value) == nullptr) return Variant(platform::ObjectRef());
      return Variant(platform::ObjectRef(
          std::make_shared<ComDispatchable>(ComRef<IDispatch>::Share(V_DISPATCH(&value)))));
    case VT_UNKNOWN: {
      IUnknown* unknown = V_UNKNOWN(&value);
      if (unknown == nullptr) return Variant(platform::ObjectRef());
      ComRef<IDispatch> dispatch;
      if (FAILED(unknown->QueryInterface(IID_IDispatch,
                                         reinterpret_cast<void**>(dispatch.Receive())))) {
        Raise(RuntimeError::TypeMismatch, "the object has no automation interface");
      }
      return Variant(platform::ObjectRef(std::make_shared<ComDispatchable>(std::move(dispatch))));
    }
    case VT_I1:
    case VT_UI2:
    case VT_INT:
      return Converted(value, VT_I4);
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    case VT_UI8: {
      ScopedVariant asI4;
      if (SUCCEEDED(VariantChangeType(asI4.get(), const_cast<VARIANT*>(&value), 0, VT_I4))) {
        return FromCom(*asI4);
      }
      return Converted(value, VT_R8);
    }
    case VT_CY:
      return Variant::Currency(V_CY(&value).int64);
    case VT_DECIMAL:
      return Converted(value, VT_R8);
    case VT_DATE:
      return Variant::Date(V_DATE(&value));
    default:
      Raise(RuntimeError::TypeMismatch, "a value of an unsupported type was passed");
  }
}

void ToCom(const Variant& value, VARIANT* out) {
  VariantInit(out);
  switch (value.Type()) {
    case VarType::Empty:
      return;
    case VarType::Null:
      V_VT(out) = VT_NULL;
      return;
    case VarType::I2:
      V_I2(out) = value.ToI2();
      V_VT(out) = VT_I2;
      return;
    case VarType::I4:
      V_I4(out) = value.ToI4();
      V_VT(out) = VT_I4;
      return;
    case VarType::R4:
      V_R4(out) = value.ToR4();
      V_VT(out) = VT_R4;
      return;
    case VarType::R8:
      V_R8(out) = value.ToR8();
      V_VT(out) = VT_R8;
      return;
    case VarType::Cy:
      V_CY(out).int64 = value.AsCy();
      V_VT(out) = VT_CY;
      return;
    case VarType::BStr:
      V_BSTR(out) = ToBstr(value.AsBStr());
      V_VT(out) = VT_BSTR;
      return;
    case VarType::Bool:
      V_BOOL(out) = value.ToBool() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      V_VT(out) = VT_BOOL;
      return;
    case VarType::UI1:
      V_UI1(out) = value.ToUI1();
      V_VT(out) = VT_UI1;
      return;
    case VarType::Date:
      V_DATE(out) = value.AsDate();
      V_VT(out) = VT_DATE;
      return;
    case VarType::Error:
      if (!value.IsMissing()) {
        Raise(RuntimeError::TypeMismatch, "an error value cannot be passed on");
      }
      V_ERROR(out) = DISP_E_PARAMNOTFOUND;
      V_VT(out) = VT_ERROR;
      return;
    case VarType::ByteArray: {
      const ByteArray& bytes = value.AsByteArray();
      V_ARRAY(out) = bytes.IsAllocated() ? SafeArrayFromBytes(bytes) : nullptr;
      V_VT(out) = VT_ARRAY | VT_UI1;
      return;
    }
    case VarType::VariantArray: {
      const platform::VariantArray& variants = value.AsArray();
      V_ARRAY(out) = variants.IsAllocated() ? SafeArrayFromVariants(variants) : nullptr;
      V_VT(out) = VT_ARRAY | VT_VARIANT;
      return;
    }
    case VarType::Variant:
    case VarType::Array:
      break;  // element type and flag only; no value has them
    case VarType::Dispatch: {
      const platform::ObjectRef object = value.ToObject();
      if (!object) {
        V_DISPATCH(out) = nullptr;
        V_VT(out) = VT_DISPATCH;
        return;
      }
      auto* foreign = dynamic_cast<ComDispatchable*>(object.get());
      if (foreign == nullptr) {
        Raise(RuntimeError::TypeMismatch, "an object of the component cannot be handed out");
      }
      V_DISPATCH(out) = foreign->Object();
      V_DISPATCH(out)->AddRef();
      V_VT(out) = VT_DISPATCH;
      return;
    }
  }
  Raise(RuntimeError::TypeMismatch);
}

void WriteBack(VARIANT* target, const Variant& value) {
  if (target == nullptr) return;
  const VARTYPE type = V_VT(target);
  if (type == (VT_BYREF | VT_VARIANT)) {
    WriteBack(V_VARIANTREF(target), value);
    return;
  }
  ScopedVariant fresh;
  ToCom(value, fresh.get());
  if ((type & VT_BYREF) == 0) {
    VariantClear(target);
    *target = fresh.Release();
    return;
  }
  // A typed reference keeps its type: the new value is converted to it.
  const VARTYPE base = type & ~VT_BYREF;
  if ((base & VT_ARRAY) != 0) {
    if (V_VT(fresh.get()) != base) Raise(RuntimeError::TypeMismatch);
    if (*V_ARRAYREF(target) != nullptr) SafeArrayDestroy(*V_ARRAYREF(target));
    *V_ARRAYREF(target) = fresh.Release().parray;
    return;
  }
  HRESULT result = VariantChangeType(fresh.get(), fresh.get(), 0, base);
  if (FAILED(result)) throw ErrorFromHresult(result, nullptr);
  switch (base) {
    case VT_I2:
      *V_I2REF(target) = V_I2(fresh.get());
      return;
    case VT_I4:
      *V_I4REF(target) = V_I4(fresh.get());
      return;
    case VT_R4:
      *V_R4REF(target) = V_R4(fresh.get());
      return;
    case VT_R8:
      *V_R8REF(target) = V_R8(fresh.get());
      return;
    case VT_CY:
      *V_CYREF(target) = V_CY(fresh.get());
      return;
    case VT_BOOL:
      *V_BOOLREF(target) = V_BOOL(fresh.get());
      return;
    case VT_UI1:
      *V_UI1REF(target) = V_UI1(fresh.get());
      return;
    case VT_DATE:
      *V_DATEREF(target) = V_DATE(fresh.get());
      return;
    case VT_BSTR:
      SysFreeString(*V_BSTRREF(target));
      *V_BSTRREF(target) = fresh.Release().bstrVal;
      return;
    case VT_DISPATCH:
      if (*V_DISPATCHREF(target) != nullptr) (*V_DISPATCHREF(target))->Release();
      *V_DISPATCHREF(target) = fresh.Release().pdispVal;
      return;
    default:
      Raise(RuntimeError::TypeMismatch, "the argument's type cannot receive the value");
  }
}

platform::Error ErrorFromHresult(HRESULT result, EXCEPINFO* exception) {
  if (result == DISP_E_EXCEPTION && exception != nullptr) {
    if (exception->pfnDeferredFillIn != nullptr) exception->pfnDeferredFillIn(exception);
    int32_t number = exception->scode != 0 ? static_cast<int32_t>(exception->scode)
                                           : static_cast<int32_t>(exception->wCode);
    std::string source = platform::WideToUtf8(FromBstr(exception->bstrSource));
    std::string description = platform::WideToUtf8(FromBstr(exception->bstrDescription));
    SysFreeString(exception->bstrSource);
    SysFreeString(exception->bstrDescription);
    SysFreeString(exception->bstrHelpFile);
    *exception = EXCEPINFO{};
    if (number == 0) number = static_cast<int32_t>(E_FAIL);
    return platform::Error(number, std::move(source), std::move(description));
  }
  // Some engines report a script's error as the call's HRESULT with the thread's error
  // information instead of exception information; the caller cleared that before the call.
  ComRef<IErrorInfo> info;
  if (exception != nullptr && FAILED(result) && GetErrorInfo(0, info.Receive()) == S_OK && info) {
    BSTR source = nullptr;
    BSTR description = nullptr;
    info->GetSource(&source);
    info->GetDescription(&description);
    platform::Error error(static_cast<int32_t>(result), platform::WideToUtf8(FromBstr(source)),
                          platform::WideToUtf8(FromBstr(description)));
    SysFreeString(source);
    SysFreeString(description);
    if (!error.Description().empty()) return error;
  }
  if (HRESULT_FACILITY(result) == FACILITY_CONTROL) {
    const auto runtime = static_cast<RuntimeError>(HRESULT_CODE(result));
    return platform::Error(static_cast<int32_t>(result), std::string(),
                           std::string(platform::RuntimeErrorText(runtime)));
  }
  switch (result) {
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      return platform::MakeError(RuntimeError::MemberNotFound);
    case DISP_E_TYPEMISMATCH:
    case DISP_E_BADVARTYPE:
      return platform::MakeError(RuntimeError::TypeMismatch);
    case DISP_E_BADPARAMCOUNT:
      return platform::MakeError(RuntimeError::WrongArgumentCount);
    case DISP_E_PARAMNOTOPTIONAL:
      return platform::MakeError(RuntimeError::ArgumentNotOptional);
    case DISP_E_OVERFLOW:
      return platform::MakeError(RuntimeError::Overflow);
    case E_OUTOFMEMORY:
      return platform::MakeError(RuntimeError::OutOfMemory);
    default:
      return platform::Error(static_cast<int32_t>(result), std::string(), SystemMessage(result));
  }
}

HRESULT HresultOf(const platform::Error& error) {
  const int32_t number = error.Number();
  if (number < 0) return static_cast<HRESULT>(number);
  if (number > 0 && number <= 0xFFFF) {
    return static_cast<HRESULT>(platform::kRuntimeErrorBase | static_cast<uint32_t>(number));
  }
  return E_FAIL;
}

HRESULT ReportError(const platform::Error& error, REFIID iid) {
  ComRef<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.Receive()))) {
    const std::u16string source = platform::Utf8ToWide(error.Source());
    const std::u16string description = platform::Utf8ToWide(error.Description());
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(Wide(source)));
    create->SetDescription(const_cast<LPOLESTR>(Wide(description)));
    ComRef<IErrorInfo> info;
    if (SUCCEEDED(
            create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.Receive())))) {
      SetErrorInfo(0, info.get());
    }
  }
  return HresultOf(error);
}

platform::DispId ComDispatchable::GetIdOfName(std::u16string_view name) const {
  std::u16string text(name);
  LPOLESTR names[] = {const_cast<LPOLESTR>(Wide(text))};
  DISPID id = DISPID_UNKNOWN;
  if (SUCCEEDED(object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return id;
  // Script-defined objects may answer names only through IDispatchEx.
  ComRef<IDispatchEx> extended;
  if (SUCCEEDED(
          object_->QueryInterface(kIidDispatchEx, reinterpret_cast<void**>(extended.Receive()))) &&
      extended) {
    BSTR bstr = ToBstr(name);
    HRESULT result = extended->GetDispID(bstr, fdexNameCaseInsensitive, &id);
    SysFreeString(bstr);
    if (SUCCEEDED(result)) return id;
  }
  return platform::kDispIdUnknown;
}

Variant ComDispatchable::Invoke(platform::DispId id, platform::InvokeKind kind,
                                std::span<Variant> args) {
  using platform::HasKind;
  using platform::InvokeKind;
  WORD flags = 0;
  if (HasKind(kind, InvokeKind::Method)) flags |= DISPATCH_METHOD;
  if (HasKind(kind, InvokeKind::PropertyGet)) flags |= DISPATCH_PROPERTYGET;
  if (HasKind(kind, InvokeKind::PropertyPut)) flags |= DISPATCH_PROPERTYPUT;
  if (HasKind(kind, InvokeKind::PropertyPutRef)) flags |= DISPATCH_PROPERTYPUTREF;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;

  // The values, cleared whatever happens; the argument list holds references to them, in
  // reverse order as IDispatch expects. A property's new value goes by value, as scripts pass it.
  const size_t count = args.size();
  struct Values {
    std::vector<VARIANT> items;
    explicit Values(size_t n) : items(n) {
      for (VARIANT& item : items)
        VariantInit(&item);
    }
    ~Values() {
      for (VARIANT& item : items)
        VariantClear(&item);
    }
  } values(count);
  std::vector<VARIANT> passed(count);
  for (size_t i = 0; i < count; ++i) {
    ToCom(args[i], &values.items[i]);
    VARIANT& slot = passed[count - 1 - i];
    VariantInit(&slot);
    if (put && i + 1 == count) {
      slot = values.items[i];  // a shallow copy: the callee does not own it
    } else {
      V_VT(&slot) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&slot) = &values.items[i];
    }
  }
  const std::vector<VARIANT> before = values.items;  // shallow, to see what the callee changed

  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS parameters{count > 0 ? passed.data() : nullptr, put ? &putId : nullptr,
                        static_cast<UINT>(count), put ? 1u : 0u};
  EXCEPINFO exception{};
  UINT argumentError = 0;
  ScopedVariant result;
  SetErrorInfo(0, nullptr);
  HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                               put ? nullptr : result.get(), &exception, &argumentError);
  // What the callee wrote into a by-reference argument goes back to the caller's slot.
  for (size_t i = 0; i < count; ++i) {
    if (std::memcmp(&before[i], &values.items[i], sizeof(VARIANT)) != 0) {
      args[i] = FromCom(values.items[i]);
    }
  }
  if (FAILED(hr)) throw ErrorFromHresult(hr, &exception);
  return put ? Variant() : FromCom(*result);
}

}  // namespace corvella::com
