// The management service through wbemprox's COM interfaces. Each portable object wraps one
// COM pointer in a ComPtr, so dropping the object is what releases the interface; BSTRs and
// VARIANTs have their own owners below.
#include "report/wmi_api_win.h"

#include <optional>
#include <string>
#include <utility>

#include "base/scoped_win.h"
#include "base/utf_win.h"
#include "base/win32_win.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

namespace tarnvik::win {

namespace {

WmiResult ToResult(HRESULT hr) { return static_cast<WmiResult>(hr); }

// The service's own failure codes are an unsigned enum; their bits are the HRESULT.
constexpr HRESULT kTimedOut = static_cast<HRESULT>(static_cast<uint32_t>(WBEM_E_TIMED_OUT));
constexpr HRESULT kInvalidParameter = static_cast<HRESULT>(static_cast<uint32_t>(WBEM_E_INVALID_PARAMETER));

class ScopedBstr {
 public:
  explicit ScopedBstr(std::string_view utf8) {
    const std::wstring wide = Utf8ToWide(utf8);
    bstr_ = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  }
  ~ScopedBstr() { ::SysFreeString(bstr_); }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  BSTR get() const { return bstr_; }
  explicit operator bool() const { return bstr_ != nullptr; }

 private:
  BSTR bstr_ = nullptr;
};

class ScopedVariant {
 public:
  ScopedVariant() { ::VariantInit(&v_); }
  ~ScopedVariant() { ::VariantClear(&v_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  VARIANT* put() {
    ::VariantClear(&v_);
    return &v_;
  }
  const VARIANT& get() const { return v_; }

 private:
  VARIANT v_;
};

// The service's objects live in another process on Windows; its proxies need the caller's
// identity to answer. In-process (as under Wine) there is no proxy to dress, and any access
// problem shows up in the calls that follow, so the result is not a reason to stop.
void SetServiceBlanket(IUnknown* proxy) {
  ::CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

class WinObject final : public WmiObject {
 public:
  explicit WinObject(ComPtr<IWbemClassObject> object) : object_(std::move(object)) {}

  WmiResult GetText(const std::string& property, std::optional<std::string>& value) override {
    const std::wstring name = Utf8ToWide(property);
    ScopedVariant v;
    const HRESULT hr = object_->Get(name.c_str(), 0, v.put(), nullptr, nullptr);
    if (FAILED(hr)) return ToResult(hr);
    if (v.get().vt == VT_BSTR) {
      const BSTR text = v.get().bstrVal;
      value = text == nullptr ? std::string() : WideToUtf8(std::wstring_view(text, ::SysStringLen(text)));
    } else {
      value = std::nullopt;
    }
    return ToResult(S_OK);
  }

  WmiResult GetNumber(const std::string& property, std::optional<uint32_t>& value) override {
    const std::wstring name = Utf8ToWide(property);
    ScopedVariant v;
    const HRESULT hr = object_->Get(name.c_str(), 0, v.put(), nullptr, nullptr);
    if (FAILED(hr)) return ToResult(hr);
    // uint16 and uint32 travel as VT_I4, uint8 as VT_UI1.
    const VARIANT& got = v.get();
    if (got.vt == VT_I4) {
      value = static_cast<uint32_t>(got.lVal);
    } else if (got.vt == VT_UI4) {
      value = got.ulVal;
    } else if (got.vt == VT_UI1) {
      value = got.bVal;
    } else {
      value = std::nullopt;
    }
    return ToResult(S_OK);
  }

 private:
  ComPtr<IWbemClassObject> object_;
};

class WinWalk final : public WmiObjectWalk {
 public:
  WinWalk(ComPtr<IEnumWbemClassObject> walk, uint32_t timeoutMs) : walk_(std::move(walk)), timeoutMs_(timeoutMs) {}

  WmiResult Next(std::unique_ptr<WmiObject>& item) override {
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    const HRESULT hr = walk_->Next(static_cast<long>(timeoutMs_), 1, object.put(), &returned);
    if (hr == WBEM_S_NO_ERROR && returned == 1 && object) {
      item = std::make_unique<WinObject>(std::move(object));
      return kWmiOk;
    }
    if (hr == WBEM_S_FALSE && returned == 0) return kWmiFalse;
    // A timeout is a success code to COM, but the walk is unfinished: its answer is unknown.
    if (hr == WBEM_S_TIMEDOUT) return ToResult(kTimedOut);
    return FAILED(hr) ? ToResult(hr) : ToResult(E_UNEXPECTED);
  }

 private:
  ComPtr<IEnumWbemClassObject> walk_;
  uint32_t timeoutMs_;
};

// The answer of a semi-synchronous read, awaited for a bounded time.
class WinPendingCall final : public WmiPendingObject {
 public:
  WinPendingCall(ComPtr<IWbemCallResult> call, uint32_t timeoutMs) : call_(std::move(call)), timeoutMs_(timeoutMs) {}

  WmiResult Wait(std::unique_ptr<WmiObject>& object) override {
    ComPtr<IWbemClassObject> found;
    const HRESULT hr = call_->GetResultObject(static_cast<long>(timeoutMs_), found.put());
    // Still running after the bound: the read is left to the service, its answer unknown.
    if (hr == WBEM_S_TIMEDOUT) return ToResult(kTimedOut);
    if (FAILED(hr)) return ToResult(hr);
    if (hr != WBEM_S_NO_ERROR || !found) return ToResult(E_UNEXPECTED);
    object = std::make_unique<WinObject>(std::move(found));
    return ToResult(S_OK);
  }

 private:
  ComPtr<IWbemCallResult> call_;
  uint32_t timeoutMs_;
};

// An object the service handed over with the call itself.
class WinPendingDone final : public WmiPendingObject {
 public:
  explicit WinPendingDone(ComPtr<IWbemClassObject> found) : found_(std::move(found)) {}

  WmiResult Wait(std::unique_ptr<WmiObject>& object) override {
    if (!found_) return ToResult(E_UNEXPECTED);
    object = std::make_unique<WinObject>(std::move(found_));
    return ToResult(S_OK);
  }

 private:
  ComPtr<IWbemClassObject> found_;
};

class WinServices final : public WmiServices {
 public:
  WinServices(ComPtr<IWbemServices> services, uint32_t walkTimeoutMs, uint32_t getTimeoutMs)
      : services_(std::move(services)), walkTimeoutMs_(walkTimeoutMs), getTimeoutMs_(getTimeoutMs) {}

  WmiResult StartGet(const std::string& objectPath, std::unique_ptr<WmiPendingObject>& pending) override {
    const ScopedBstr path(objectPath);
    if (!path) return ToResult(E_OUTOFMEMORY);
    // Semi-synchronous: the service returns at once with a call result whose wait is bounded.
    // Wine's in-process service ignores the flag and hands the object over at once instead
    // (and cannot take a missing object pointer), which is why both places are offered; a
    // service that refuses an object pointer in this mode is asked again without one.
    ComPtr<IWbemClassObject> found;
    ComPtr<IWbemCallResult> call;
    HRESULT hr = services_->GetObject(path.get(), WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, found.put(), call.put());
    if (hr == kInvalidParameter || hr == E_INVALIDARG) {
      hr = services_->GetObject(path.get(), WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, nullptr, call.put());
    }
    if (FAILED(hr)) return ToResult(hr);
    if (call) {
      SetServiceBlanket(call.get());
      pending = std::make_unique<WinPendingCall>(std::move(call), getTimeoutMs_);
    } else if (found) {
      pending = std::make_unique<WinPendingDone>(std::move(found));
    } else {
      return ToResult(E_UNEXPECTED);
    }
    return ToResult(S_OK);
  }

  WmiResult ExecQuery(const std::string& query, std::unique_ptr<WmiObjectWalk>& walk) override {
    const ScopedBstr language("WQL");
    const ScopedBstr text(query);
    if (!language || !text) return ToResult(E_OUTOFMEMORY);
    // Forward-only and semi-synchronous: the call returns at once and each Next waits at most
    // the walk timeout, so a stalled provider cannot hold the window for good.
    ComPtr<IEnumWbemClassObject> items;
    const HRESULT hr = services_->ExecQuery(language.get(), text.get(),
                                            WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, items.put());
    if (FAILED(hr)) return ToResult(hr);
    if (!items) return ToResult(E_UNEXPECTED);
    SetServiceBlanket(items.get());
    walk = std::make_unique<WinWalk>(std::move(items), walkTimeoutMs_);
    return ToResult(S_OK);
  }

 private:
  ComPtr<IWbemServices> services_;
  uint32_t walkTimeoutMs_;
  uint32_t getTimeoutMs_;
};

class WinLocator final : public WmiLocator {
 public:
  WinLocator(ComPtr<IWbemLocator> locator, uint32_t walkTimeoutMs, uint32_t getTimeoutMs)
      : locator_(std::move(locator)), walkTimeoutMs_(walkTimeoutMs), getTimeoutMs_(getTimeoutMs) {}

  WmiResult ConnectServer(const std::string& server, const std::string& nameSpace,
                          std::unique_ptr<WmiServices>& services) override {
    // The scripting form takes server and namespace apart; the COM call takes one path.
    const ScopedBstr path(server.empty() ? nameSpace : "\\\\" + server + "\\" + nameSpace);
    if (!path) return ToResult(E_OUTOFMEMORY);
    ComPtr<IWbemServices> connected;
    // USE_MAX_WAIT bounds the connection (two minutes at most) when the service does not answer.
    const HRESULT hr = locator_->ConnectServer(path.get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT,
                                               nullptr, nullptr, connected.put());
    if (FAILED(hr)) return ToResult(hr);
    if (!connected) return ToResult(E_UNEXPECTED);
    SetServiceBlanket(connected.get());
    services = std::make_unique<WinServices>(std::move(connected), walkTimeoutMs_, getTimeoutMs_);
    return ToResult(S_OK);
  }

 private:
  ComPtr<IWbemLocator> locator_;
  uint32_t walkTimeoutMs_;
  uint32_t getTimeoutMs_;
};

}  // namespace

ComApartment::ComApartment() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
  if (initialised_)
    ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                           nullptr, EOAC_NONE, nullptr);
}

ComApartment::~ComApartment() {
  if (initialised_) ::CoUninitialize();
}

namespace {

// A thread's place in the multithreaded apartment, left again when dropped.
class WinApartment final : public WmiApartment {
 public:
  ~WinApartment() override { ::CoUninitialize(); }
};

// A thread that is already in an apartment of its own kind uses that one.
class BorrowedApartment final : public WmiApartment {};

}  // namespace

WmiResult WinWmiApi::JoinApartment(std::unique_ptr<WmiApartment>& apartment) {
  const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (hr == RPC_E_CHANGED_MODE) {
    apartment = std::make_unique<BorrowedApartment>();
    return ToResult(S_OK);
  }
  if (FAILED(hr)) return ToResult(hr);
  apartment = std::make_unique<WinApartment>();  // S_OK and S_FALSE are both undone by one CoUninitialize
  return ToResult(S_OK);
}

WmiResult WinWmiApi::CreateLocator(std::unique_ptr<WmiLocator>& locator) {
  ComPtr<IWbemLocator> created;
  const HRESULT hr =
      ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, created.put_void());
  if (FAILED(hr)) return ToResult(hr);
  if (!created) return ToResult(E_UNEXPECTED);
  locator = std::make_unique<WinLocator>(std::move(created), walkTimeoutMs_, getTimeoutMs_);
  return ToResult(S_OK);
}

}  // namespace tarnvik::win
