#include "pictron_object.h"

#include <exception>
#include <new>
#include <vector>

#include "com_bridge.h"
#include "module.h"

namespace corvella::com {

using platform::Variant;

namespace {

constexpr platform::InvokeKind kMethod = platform::InvokeKind::Method;
constexpr platform::InvokeKind kGet = platform::InvokeKind::PropertyGet;
constexpr platform::InvokeKind kLet = platform::InvokeKind::PropertyPut;

// What an in/out argument looked like before the call, to see whether the member changed it.
// A byte array is remembered by its storage instead of a copy: a member that writes one writes a
// new array.
struct Snapshot {
  bool bytes = false;
  const uint8_t* data = nullptr;
  size_t size = 0;
  Variant value;

  explicit Snapshot(Variant& current) {
    if (current.Type() == platform::VarType::ByteArray) {
      bytes = true;
      data = current.AsByteArray().Data();
      size = current.AsByteArray().Size();
    } else {
      value = current;
    }
  }

  bool Changed(Variant& current) const {
    if (!bytes) return !(current == value);
    return current.Type() != platform::VarType::ByteArray || current.AsByteArray().Data() != data ||
           current.AsByteArray().Size() != size;
  }
};

VARIANT_BOOL ToVariantBool(const Variant& value) {
  return value.ToBool() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

/// One argument of a vtable call: a value passed by value, or the caller's VARIANT of an in/out
/// parameter (null for an omitted optional one).
struct PictronObject::Argument {
  Variant value;
  VARIANT* reference = nullptr;
  bool byReference = false;

  static Argument In(Variant value) { return {std::move(value), nullptr, false}; }
  static Argument InOut(VARIANT* reference) { return {Variant(), reference, true}; }
};

PictronObject::PictronObject() : core_(std::make_shared<component::Pictron>()) {
  ObjectCreated();
}

PictronObject::~PictronObject() {
  ObjectDestroyed();
}

// ----------------------------------------------------------------------------------------------
// IUnknown, IDispatch, ISupportErrorInfo

HRESULT PictronObject::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, IidPictron())) {
    *object = static_cast<_Pictron*>(this);
  } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
    *object = static_cast<ISupportErrorInfo*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG PictronObject::AddRef() {
  return ++references_;
}

ULONG PictronObject::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT PictronObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT PictronObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  HRESULT failure = S_OK;
  *info = PictronTypeInfo(failure);
  return *info != nullptr ? S_OK : failure;
}

HRESULT PictronObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  HRESULT failure = S_OK;
  ComRef<ITypeInfo> info(PictronTypeInfo(failure));
  if (!info) return failure;
  return DispGetIDsOfNames(info.get(), names, count, ids);
}

HRESULT PictronObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                              VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  HRESULT failure = S_OK;
  ComRef<ITypeInfo> info(PictronTypeInfo(failure));
  if (!info) return failure;
  lastError_.reset();
  // The type information fills an exception structure of ours; the caller's is written only on
  // failure, since its contents on entry are undefined.
  EXCEPINFO filled{};
  HRESULT hr = info->Invoke(static_cast<_Pictron*>(this), id, flags, parameters, result, &filled,
                            argumentError);
  if (FAILED(hr) && lastError_) {
    // The member failed: its error, exactly as the vtable reported it, whatever the type
    // information's Invoke made of it.
    SysFreeString(filled.bstrSource);
    SysFreeString(filled.bstrDescription);
    SysFreeString(filled.bstrHelpFile);
    const platform::Error error = *lastError_;
    lastError_.reset();
    if (exception != nullptr) {
      *exception = EXCEPINFO{};
      try {
        exception->bstrSource = ToBstr(platform::Utf8ToWide(error.Source()));
        exception->bstrDescription = ToBstr(platform::Utf8ToWide(error.Description()));
      } catch (const std::bad_alloc&) {
        SysFreeString(exception->bstrSource);
        exception->bstrSource = nullptr;
      }
      exception->scode = HresultOf(error);
    }
    return DISP_E_EXCEPTION;
  }
  if (hr == DISP_E_EXCEPTION && exception != nullptr) {
    *exception = filled;
  } else {
    SysFreeString(filled.bstrSource);
    SysFreeString(filled.bstrDescription);
    SysFreeString(filled.bstrHelpFile);
  }
  return hr;
}

HRESULT PictronObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IidPictron()) ? S_OK : S_FALSE;
}

// ----------------------------------------------------------------------------------------------
// The call of one member through the core

HRESULT PictronObject::Fail(const platform::Error& error) noexcept {
  try {
    platform::Error reported = error;
    reported.SetSourceIfEmpty(platform::kComponentSource);
    lastError_ = reported;
    return ReportError(reported, IidPictron());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

template <typename Store>
HRESULT PictronObject::Call(std::u16string_view name, platform::InvokeKind kind,
                            std::initializer_list<Argument> arguments, Store&& store) noexcept {
  try {
    // The member is found by its name, as a late-bound caller finds it.
    const platform::DispId id = core_->GetIdOfName(name);
    std::vector<Variant> values;
    std::vector<Snapshot> before;
    values.reserve(arguments.size());
    before.reserve(arguments.size());
    for (const Argument& argument : arguments) {
      if (!argument.byReference) {
        values.push_back(argument.value);
      } else {
        // A null pointer can only be an omitted optional argument.
        values.push_back(argument.reference != nullptr ? FromCom(*argument.reference)
                                                       : Variant::Missing());
      }
      before.emplace_back(values.back());
    }
    Variant result;
    std::exception_ptr failure;
    try {
      result = core_->Invoke(id, kind, values);
    } catch (...) {
      failure = std::current_exception();
    }
    // The core has copied changed in/out parameters into the values, also when the member
    // failed; they go back to the caller's variables.
    size_t i = 0;
    for (const Argument& argument : arguments) {
      if (argument.byReference && argument.reference != nullptr && before[i].Changed(values[i])) {
        WriteBack(argument.reference, values[i]);
      }
      ++i;
    }
    if (failure) std::rethrow_exception(failure);
    store(result);
    return S_OK;
  } catch (const platform::Error& error) {
    return Fail(error);
  } catch (const std::bad_alloc&) {
    return Fail(platform::MakeError(platform::RuntimeError::OutOfMemory));
  } catch (...) {
    return Fail(platform::Error(static_cast<int32_t>(E_UNEXPECTED), std::string(),
                                "Unexpected failure inside the component"));
  }
}

namespace {

// Result stores for the vtable's out parameters.
auto NoResult() {
  return [](const Variant&) {};
}

}  // namespace

// ----------------------------------------------------------------------------------------------
// _Pictron: each vtable slot calls the member of its name

HRESULT PictronObject::OnStartPage(VARIANT* PassedScriptingContext) {
  return Call(u"OnStartPage", kMethod, {Argument::InOut(PassedScriptingContext)}, NoResult());
}

HRESULT PictronObject::OnEndPage(VARIANT* result) {
  if (result == nullptr) return E_POINTER;
  VariantInit(result);
  return Call(u"OnEndPage", kMethod, {}, [&](const Variant& value) { ToCom(value, result); });
}

HRESULT PictronObject::get_OriginalWidth(LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return Call(u"OriginalWidth", kGet, {}, [&](const Variant& value) { *result = value.ToI4(); });
}

HRESULT PictronObject::get_OriginalHeight(LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return Call(u"OriginalHeight", kGet, {}, [&](const Variant& value) { *result = value.ToI4(); });
}

HRESULT PictronObject::get_OriginalSize(LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return Call(u"OriginalSize", kGet, {}, [&](const Variant& value) { *result = value.ToI4(); });
}

HRESULT PictronObject::get_width(LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return Call(u"width", kGet, {}, [&](const Variant& value) { *result = value.ToI4(); });
}

HRESULT PictronObject::get_Height(LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return Call(u"Height", kGet, {}, [&](const Variant& value) { *result = value.ToI4(); });
}

HRESULT PictronObject::get_Size(double* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return Call(u"Size", kGet, {}, [&](const Variant& value) { *result = value.ToR8(); });
}

HRESULT PictronObject::get_FontFace(BSTR* result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  return Call(u"FontFace", kGet, {},
              [&](const Variant& value) { *result = ToBstr(value.ToBStr()); });
}

HRESULT PictronObject::get_FontBold(VARIANT_BOOL* result) {
  if (result == nullptr) return E_POINTER;
  *result = VARIANT_FALSE;
  return Call(u"FontBold", kGet, {}, [&](const Variant& value) { *result = ToVariantBool(value); });
}

HRESULT PictronObject::get_FontColor(BSTR* result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  return Call(u"FontColor", kGet, {},
              [&](const Variant& value) { *result = ToBstr(value.ToBStr()); });
}

HRESULT PictronObject::get_FontItalic(VARIANT_BOOL* result) {
  if (result == nullptr) return E_POINTER;
  *result = VARIANT_FALSE;
  return Call(u"FontItalic", kGet, {},
              [&](const Variant& value) { *result = ToVariantBool(value); });
}

HRESULT PictronObject::get_FontOrientation(short* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return Call(u"FontOrientation", kGet, {}, [&](const Variant& value) { *result = value.ToI2(); });
}

HRESULT PictronObject::get_FontSize(short* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return Call(u"FontSize", kGet, {}, [&](const Variant& value) { *result = value.ToI2(); });
}

HRESULT PictronObject::get_FontUnderline(VARIANT_BOOL* result) {
  if (result == nullptr) return E_POINTER;
  *result = VARIANT_FALSE;
  return Call(u"FontUnderline", kGet, {},
              [&](const Variant& value) { *result = ToVariantBool(value); });
}

HRESULT PictronObject::get_FontCharset(LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return Call(u"FontCharset", kGet, {}, [&](const Variant& value) { *result = value.ToI4(); });
}

HRESULT PictronObject::put_Quality(short intValue) {
  return Call(u"Quality", kLet, {Argument::In(Variant(static_cast<int16_t>(intValue)))},
              NoResult());
}

HRESULT PictronObject::put_Comment(BSTR strValue) {
  return Call(u"Comment", kLet, {Argument::In(Variant(FromBstr(strValue)))}, NoResult());
}

HRESULT PictronObject::put_FontFace(BSTR strValue) {
  return Call(u"FontFace", kLet, {Argument::In(Variant(FromBstr(strValue)))}, NoResult());
}

HRESULT PictronObject::put_FontBold(VARIANT_BOOL blValue) {
  return Call(u"FontBold", kLet, {Argument::In(Variant::Bool(blValue != VARIANT_FALSE))},
              NoResult());
}

HRESULT PictronObject::put_FontColor(BSTR strValue) {
  return Call(u"FontColor", kLet, {Argument::In(Variant(FromBstr(strValue)))}, NoResult());
}

HRESULT PictronObject::put_FontItalic(VARIANT_BOOL blValue) {
  return Call(u"FontItalic", kLet, {Argument::In(Variant::Bool(blValue != VARIANT_FALSE))},
              NoResult());
}

HRESULT PictronObject::put_FontOrientation(short intValue) {
  return Call(u"FontOrientation", kLet, {Argument::In(Variant(static_cast<int16_t>(intValue)))},
              NoResult());
}

HRESULT PictronObject::put_FontSize(short intValue) {
  return Call(u"FontSize", kLet, {Argument::In(Variant(static_cast<int16_t>(intValue)))},
              NoResult());
}

HRESULT PictronObject::put_FontUnderline(VARIANT_BOOL blValue) {
  return Call(u"FontUnderline", kLet, {Argument::In(Variant::Bool(blValue != VARIANT_FALSE))},
              NoResult());
}

HRESULT PictronObject::put_FontCharset(LONG blValue) {
  return Call(u"FontCharset", kLet, {Argument::In(Variant(static_cast<int32_t>(blValue)))},
              NoResult());
}

HRESULT PictronObject::OpenFile(VARIANT* strFilePathName) {
  return Call(u"OpenFile", kMethod, {Argument::InOut(strFilePathName)}, NoResult());
}

HRESULT PictronObject::SaveFile(VARIANT* strFilePathName) {
  return Call(u"SaveFile", kMethod, {Argument::InOut(strFilePathName)}, NoResult());
}

HRESULT PictronObject::Resample(VARIANT* lngNewWidth, VARIANT* lngNewHeight) {
  return Call(u"Resample", kMethod, {Argument::InOut(lngNewWidth), Argument::InOut(lngNewHeight)},
              NoResult());
}

HRESULT PictronObject::Crop(VARIANT* intX1, VARIANT* intY1, VARIANT* intX2, VARIANT* intY2) {
  return Call(u"Crop", kMethod,
              {Argument::InOut(intX1), Argument::InOut(intY1), Argument::InOut(intX2),
               Argument::InOut(intY2)},
              NoResult());
}

HRESULT PictronObject::Flip() {
  return Call(u"Flip", kMethod, {}, NoResult());
}

HRESULT PictronObject::Mirror() {
  return Call(u"Mirror", kMethod, {}, NoResult());
}

HRESULT PictronObject::RotateRight() {
  return Call(u"RotateRight", kMethod, {}, NoResult());
}

HRESULT PictronObject::RotateLeft() {
  return Call(u"RotateLeft", kMethod, {}, NoResult());
}

HRESULT PictronObject::AddText(VARIANT* strMessage, VARIANT* PositionX, VARIANT* PositionY) {
  return Call(u"AddText", kMethod,
              {Argument::InOut(strMessage), Argument::InOut(PositionX), Argument::InOut(PositionY)},
              NoResult());
}

HRESULT PictronObject::AddImage(VARIANT* strFileName, VARIANT* PositionX, VARIANT* PositionY,
                                VARIANT* TransColor) {
  return Call(u"AddImage", kMethod,
              {Argument::InOut(strFileName), Argument::InOut(PositionX), Argument::InOut(PositionY),
               Argument::InOut(TransColor)},
              NoResult());
}

HRESULT PictronObject::Download(VARIANT strNewFileName, VARIANT strContentType,
                                VARIANT strContentDisposition) {
  try {
    return Call(u"Download", kMethod,
                {Argument::In(FromCom(strNewFileName)), Argument::In(FromCom(strContentType)),
                 Argument::In(FromCom(strContentDisposition))},
                NoResult());
  } catch (const platform::Error& error) {
    return Fail(error);
  } catch (const std::bad_alloc&) {
    return Fail(platform::MakeError(platform::RuntimeError::OutOfMemory));
  }
}

HRESULT PictronObject::OpenBinary(VARIANT* arImage) {
  return Call(u"OpenBinary", kMethod, {Argument::InOut(arImage)}, NoResult());
}

HRESULT PictronObject::SaveBinary(VARIANT* binArray) {
  return Call(u"SaveBinary", kMethod, {Argument::InOut(binArray)}, NoResult());
}

HRESULT PictronObject::Blur() {
  return Call(u"Blur", kMethod, {}, NoResult());
}

HRESULT PictronObject::Sharpen() {
  return Call(u"Sharpen", kMethod, {}, NoResult());
}

HRESULT PictronObject::Gamma(VARIANT* sngRED, VARIANT* sngGREEN, VARIANT* sngBLUE) {
  return Call(u"Gamma", kMethod,
              {Argument::InOut(sngRED), Argument::InOut(sngGREEN), Argument::InOut(sngBLUE)},
              NoResult());
}

HRESULT PictronObject::Negative() {
  return Call(u"Negative", kMethod, {}, NoResult());
}

HRESULT PictronObject::GreyScale() {
  return Call(u"GreyScale", kMethod, {}, NoResult());
}

HRESULT PictronObject::LoadPictureFromStd(VARIANT_BOOL* result) {
  if (result == nullptr) return E_POINTER;
  *result = VARIANT_FALSE;
  return Call(u"LoadPictureFromStd", kMethod, {},
              [&](const Variant& value) { *result = ToVariantBool(value); });
}

HRESULT PictronObject::StripNulls(BSTR OriginalStr, BSTR* result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  try {
    return Call(u"StripNulls", kMethod, {Argument::In(Variant(FromBstr(OriginalStr)))},
                [&](const Variant& value) { *result = ToBstr(value.ToBStr()); });
  } catch (const std::bad_alloc&) {
    return Fail(platform::MakeError(platform::RuntimeError::OutOfMemory));
  }
}

HRESULT PictronObject::JPEGSkipVariables(VARIANT* lngPos) {
  return Call(u"JPEGSkipVariables", kMethod, {Argument::InOut(lngPos)}, NoResult());
}

// ----------------------------------------------------------------------------------------------
// The class factory

PictronFactory::PictronFactory() {
  ObjectCreated();
}

PictronFactory::~PictronFactory() {
  ObjectDestroyed();
}

HRESULT PictronFactory::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG PictronFactory::AddRef() {
  return ++references_;
}

ULONG PictronFactory::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT PictronFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  PictronObject* created = nullptr;
  try {
    created = new PictronObject();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  HRESULT result = created->QueryInterface(iid, object);
  created->Release();
  return result;
}

HRESULT PictronFactory::LockServer(BOOL lock) {
  LockModule(lock != FALSE);
  return S_OK;
}

}  // namespace corvella::com
