// The in-process COM server: one class factory per loopback device, created
// for the default class identifier or any that has a settings key.
#include "drivers/loopback/loopback_server.h"

#include <atomic>
#include <new>

#include "drivers/loopback/loopback_driver.h"
#include "drivers/loopback/loopback_guid.h"
#include "drivers/loopback/loopback_settings.h"

namespace {

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

class LoopbackFactory : public IClassFactory {
  public:
    explicit LoopbackFactory(const CLSID& clsid) : clsid_(clsid), references_(1) {
        loopbackServerObjectCreated();
    }
    virtual ~LoopbackFactory() { loopbackServerObjectDestroyed(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        LoopbackDriver* driver = new (std::nothrow) LoopbackDriver(clsid_);
        if (driver == nullptr)
            return E_OUTOFMEMORY;
        const HRESULT result = driver->QueryInterface(riid, object);
        driver->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        serverLocks += lock ? 1 : -1;
        return S_OK;
    }

  private:
    CLSID clsid_;
    std::atomic<ULONG> references_;
};

} // namespace

void loopbackServerObjectCreated() {
    ++liveObjects;
}
void loopbackServerObjectDestroyed() {
    --liveObjects;
}

TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                          LPVOID* object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (clsid != kLoopbackDefaultClsid && !loopbackSettingsExist(clsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    LoopbackFactory* factory = new (std::nothrow) LoopbackFactory(clsid);
    if (factory == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(riid, object);
    factory->Release();
    return result;
}

TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllCanUnloadNow() {
    return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}
