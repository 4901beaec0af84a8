#pragma once
// The bridge between COM's automation types and the core's: VARIANTs and platform::Variant,
// BSTRs and UTF-16 strings, SAFEARRAYs of bytes and ByteArray, SAFEARRAYs of VARIANTs and
// VariantArray (any number of dimensions, same bounds), dates, foreign IDispatch objects as
// platform::Dispatchable, and errors in both directions.
//
// Nothing here lets a C++ exception out to a COM caller: the functions that run inside a COM
// method raise platform::Error (or std::bad_alloc), and the method's boundary (PictronObject)
// turns them into an HRESULT with error information.

#include <oaidl.h>
#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"
#include "corvella/platform/variant.h"

namespace corvella::com {

/// Owns one reference to a COM interface.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  /// Takes over a reference that the caller already holds.
  explicit ComRef(T* pointer) : pointer_(pointer) {}
  ComRef(const ComRef& other) : pointer_(other.pointer_) {
    if (pointer_) pointer_->AddRef();
  }
  ComRef(ComRef&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComRef& operator=(ComRef other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~ComRef() {
    if (pointer_) pointer_->Release();
  }
  /// Adds a reference of its own to @p pointer.
  static ComRef Share(T* pointer) {
    if (pointer) pointer->AddRef();
    return ComRef(pointer);
  }
  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  /// The address to receive a new reference; drops the one held.
  T** Receive() {
    *this = ComRef();
    return &pointer_;
  }

 private:
  T* pointer_ = nullptr;
};

/// A VARIANT that is cleared when it goes out of scope.
class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&value_); }
  ~ScopedVariant() { VariantClear(&value_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  VARIANT* get() { return &value_; }
  const VARIANT& operator*() const { return value_; }
  /// Hands the value over to the caller, who becomes responsible for clearing it.
  VARIANT Release() {
    VARIANT value = value_;
    VariantInit(&value_);
    return value;
  }

 private:
  VARIANT value_;
};

/// The text of a BSTR (a null BSTR is the empty string).
std::u16string FromBstr(BSTR text);
/// A new BSTR with @p text; std::bad_alloc when it cannot be had.
BSTR ToBstr(std::u16string_view text);

/// The value of a VARIANT in the core's terms. References (VT_BYREF) are followed; Currency
/// (VT_CY) stays Currency; integer and decimal types the core does not have become I4 or R8; an omitted argument (VT_ERROR with
/// DISP_E_PARAMNOTFOUND) is Variant::Missing(); a foreign object is wrapped as a Dispatchable;
/// arrays of bytes and of Variants keep their bounds. Runtime error 13 for types that have no
/// counterpart (arrays of other element types, records).
platform::Variant FromCom(const VARIANT& value);

/// Writes @p value into @p out, which must not hold anything that needs freeing.
void ToCom(const platform::Variant& value, VARIANT* out);

/// Stores @p value where @p target says: through its reference when it holds one (a Variant
/// reference receives the value as it is, a typed reference the value converted to its type), else
/// into the VARIANT itself, replacing what it held.
void WriteBack(VARIANT* target, const platform::Variant& value);

/// The error that a failed call on a foreign object reported: from its exception information
/// when it gave some, else from the HRESULT (the automation runtime's numbers for the dispatch
/// failures, the system's message for the rest).
platform::Error ErrorFromHresult(HRESULT result, EXCEPINFO* exception);

/// The HRESULT of an error as a COM method returns it: the error's number when it is a failure
/// code; a bare runtime error number n (as some script engines report) becomes 0x800A0000 + n.
HRESULT HresultOf(const platform::Error& error);

/// Records @p error as the thread's error information for interface @p iid (number, source,
/// description) and answers its HRESULT.
HRESULT ReportError(const platform::Error& error, REFIID iid);

/// A foreign automation object seen as a core Dispatchable: the page's scripting context, its
/// Response and Server, or any object a script passes in. Names are looked up with
/// IDispatch::GetIDsOfNames, and with IDispatchEx::GetDispID (without regard to case) for objects
/// that answer only that, as script-defined objects may. Arguments go out as references to
/// Variants, so that the callee can read them whatever it declares and write them back.
class ComDispatchable final : public platform::Dispatchable {
 public:
  explicit ComDispatchable(ComRef<IDispatch> object) : object_(std::move(object)) {}

  platform::DispId GetIdOfName(std::u16string_view name) const override;
  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) override;

  IDispatch* Object() const { return object_.get(); }

 private:
  ComRef<IDispatch> object_;
};

}  // namespace corvella::com
