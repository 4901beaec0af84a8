#pragma once
// The COM object of class Pictron: the dual interface _Pictron over the core's
// component::Pictron, with error information, and its class factory.
//
// Every vtable method converts its COM arguments to the core's Variants and calls the member
// through the core's member table (component::Pictron::Invoke), so that argument coercion, the
// write-back of in/out parameters and every error are those of the late-bound build. IDispatch is
// served from the type library: ITypeInfo::Invoke converts a script's arguments to the vtable's
// parameter types and calls the method. Errors leave as the method's HRESULT (the error's
// number) with IErrorInfo set; through IDispatch, as DISP_E_EXCEPTION with the same number,
// source and description in EXCEPINFO.

#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string_view>

#include "corvella/component/pictron.h"
#include "corvella/platform/error.h"
#include "corvella_h.h"

namespace corvella::com {

class PictronObject final : public _Pictron, public ISupportErrorInfo {
 public:
  PictronObject();
  ~PictronObject();
  PictronObject(const PictronObject&) = delete;
  PictronObject& operator=(const PictronObject&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  // _Pictron
  HRESULT STDMETHODCALLTYPE OnStartPage(VARIANT* PassedScriptingContext) override;
  HRESULT STDMETHODCALLTYPE OnEndPage(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE get_OriginalWidth(LONG* result) override;
  HRESULT STDMETHODCALLTYPE get_OriginalHeight(LONG* result) override;
  HRESULT STDMETHODCALLTYPE get_OriginalSize(LONG* result) override;
  HRESULT STDMETHODCALLTYPE get_width(LONG* result) override;
  HRESULT STDMETHODCALLTYPE get_Height(LONG* result) override;
  HRESULT STDMETHODCALLTYPE get_Size(double* result) override;
  HRESULT STDMETHODCALLTYPE get_FontFace(BSTR* result) override;
  HRESULT STDMETHODCALLTYPE get_FontBold(VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE get_FontColor(BSTR* result) override;
  HRESULT STDMETHODCALLTYPE get_FontItalic(VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE get_FontOrientation(short* result) override;
  HRESULT STDMETHODCALLTYPE get_FontSize(short* result) override;
  HRESULT STDMETHODCALLTYPE get_FontUnderline(VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE get_FontCharset(LONG* result) override;
  HRESULT STDMETHODCALLTYPE put_Quality(short intValue) override;
  HRESULT STDMETHODCALLTYPE put_Comment(BSTR strValue) override;
  HRESULT STDMETHODCALLTYPE put_FontFace(BSTR strValue) override;
  HRESULT STDMETHODCALLTYPE put_FontBold(VARIANT_BOOL blValue) override;
  HRESULT STDMETHODCALLTYPE put_FontColor(BSTR strValue) override;
  HRESULT STDMETHODCALLTYPE put_FontItalic(VARIANT_BOOL blValue) override;
  HRESULT STDMETHODCALLTYPE put_FontOrientation(short intValue) override;
  HRESULT STDMETHODCALLTYPE put_FontSize(short intValue) override;
  HRESULT STDMETHODCALLTYPE put_FontUnderline(VARIANT_BOOL blValue) override;
  HRESULT STDMETHODCALLTYPE put_FontCharset(LONG blValue) override;
  HRESULT STDMETHODCALLTYPE OpenFile(VARIANT* strFilePathName) override;
  HRESULT STDMETHODCALLTYPE SaveFile(VARIANT* strFilePathName) override;
  HRESULT STDMETHODCALLTYPE Resample(VARIANT* lngNewWidth, VARIANT* lngNewHeight) override;
  HRESULT STDMETHODCALLTYPE Crop(VARIANT* intX1, VARIANT* intY1, VARIANT* intX2,
                                 VARIANT* intY2) override;
  HRESULT STDMETHODCALLTYPE Flip() override;
  HRESULT STDMETHODCALLTYPE Mirror() override;
  HRESULT STDMETHODCALLTYPE RotateRight() override;
  HRESULT STDMETHODCALLTYPE RotateLeft() override;
  HRESULT STDMETHODCALLTYPE AddText(VARIANT* strMessage, VARIANT* PositionX,
                                    VARIANT* PositionY) override;
  HRESULT STDMETHODCALLTYPE AddImage(VARIANT* strFileName, VARIANT* PositionX, VARIANT* PositionY,
                                     VARIANT* TransColor) override;
  HRESULT STDMETHODCALLTYPE Download(VARIANT strNewFileName, VARIANT strContentType,
                                     VARIANT strContentDisposition) override;
  HRESULT STDMETHODCALLTYPE OpenBinary(VARIANT* arImage) override;
  HRESULT STDMETHODCALLTYPE SaveBinary(VARIANT* binArray) override;
  HRESULT STDMETHODCALLTYPE Blur() override;
  HRESULT STDMETHODCALLTYPE Sharpen() override;
  HRESULT STDMETHODCALLTYPE Gamma(VARIANT* sngRED, VARIANT* sngGREEN, VARIANT* sngBLUE) override;
  HRESULT STDMETHODCALLTYPE Negative() override;
  HRESULT STDMETHODCALLTYPE GreyScale() override;
  HRESULT STDMETHODCALLTYPE LoadPictureFromStd(VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE StripNulls(BSTR OriginalStr, BSTR* result) override;
  HRESULT STDMETHODCALLTYPE JPEGSkipVariables(VARIANT* lngPos) override;

 private:
  struct Argument;
  template <typename Store>
  HRESULT Call(std::u16string_view name, platform::InvokeKind kind,
               std::initializer_list<Argument> arguments, Store&& store) noexcept;
  HRESULT Fail(const platform::Error& error) noexcept;

  std::atomic<ULONG> references_{1};
  std::shared_ptr<component::Pictron> core_;
  // The error of the last failed vtable call, for the EXCEPINFO of a call through IDispatch.
  std::optional<platform::Error> lastError_;
};

/// The class factory of Pictron.
class PictronFactory final : public IClassFactory {
 public:
  PictronFactory();
  ~PictronFactory();
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace corvella::com
