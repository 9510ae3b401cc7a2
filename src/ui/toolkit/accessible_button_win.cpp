#include "ui/toolkit/accessible_button_win.h"

#include <new>
#include <utility>

#include "base/late_bound_win.h"
#include "base/scoped_win.h"

#include <oleacc.h>

namespace tarnvik::win::detail {

namespace {

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// The system's object for the window (name from its text, place, parent, focus and so on),
// with a push button's role and default action. Screen readers call IAccessible directly;
// late binding through IDispatch is not offered, as the system's own proxies do not need it.
class PushButtonObject final : public IAccessible {
 public:
  PushButtonObject(HWND hwnd, ComPtr<IAccessible> system) : hwnd_(hwnd), system_(std::move(system)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != __uuidof(IAccessible)) return E_NOINTERFACE;
    *out = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!IsSelf(child)) return system_->get_accRole(child, role);
    if (role == nullptr) return E_POINTER;
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_PUSHBUTTON;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (!IsSelf(child)) return system_->get_accDefaultAction(child, action);
    if (action == nullptr) return E_POINTER;
    *action = ::SysAllocStringLen(L"Press", 5);
    return *action != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!IsSelf(child)) return system_->accDoDefaultAction(child);
    // Posted: the press runs from the window's own loop, not inside the screen reader's call.
    return ::PostMessageW(hwnd_, BM_CLICK, 0, 0) ? S_OK : E_FAIL;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return system_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return system_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return system_->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override { return system_->get_accName(child, name); }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return system_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return system_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return system_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return system_->get_accHelp(child, help); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return system_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
    return system_->get_accKeyboardShortcut(child, keys);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override { return system_->get_accFocus(focus); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    return system_->get_accSelection(selection);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return system_->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    return system_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    return system_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
    return system_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return system_->put_accName(child, name); }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return system_->put_accValue(child, value);
  }

 private:
  ~PushButtonObject() = default;

  LONG references_ = 1;
  HWND hwnd_;
  ComPtr<IAccessible> system_;
};

}  // namespace

LRESULT AnswerAsPushButton(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT) return 0;
  // Asked only by a screen reader: that is when oleacc is loaded (base/late_bound_win.h).
  const OleaccFunctions& oleacc = Oleacc();
  if (oleacc.CreateStdAccessibleObject == nullptr || oleacc.LresultFromObject == nullptr) return 0;
  ComPtr<IAccessible> system;
  if (FAILED(oleacc.CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible), system.put_void())) ||
      !system)
    return 0;
  IAccessible* button = new (std::nothrow) PushButtonObject(hwnd, std::move(system));
  if (button == nullptr) return 0;
  const LRESULT answer = oleacc.LresultFromObject(__uuidof(IAccessible), wParam, button);
  button->Release();  // the answer holds its own reference
  return answer > 0 ? answer : 0;  // below 0 is a failed HRESULT
}

}  // namespace tarnvik::win::detail
