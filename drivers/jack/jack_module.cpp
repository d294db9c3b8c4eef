// The shared object's entry point: the class factory that COM (or our
// stand-in for it) asks for a JACK device object.
#include <atomic>
#include <new>

#include "drivers/jack/jack_driver.h"
#include "drivers/jack/jack_guid.h"
#include "drivers/jack/jack_settings.h"

const CLSID kJackDefaultClsid = {
    0x0A35395Du, 0x4830, 0x4F2C, {0xB2, 0xE9, 0xAC, 0xF8, 0x87, 0xDA, 0xC2, 0x17}};

namespace {

class JackClassFactory : public IClassFactory {
  public:
    explicit JackClassFactory(const CLSID& clsid) : clsid_(clsid) {}
    virtual ~JackClassFactory() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory)
            return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
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
        // Hosts ask for the driver's own class identifier as the interface.
        if (riid != clsid_ && riid != IID_IUnknown)
            return E_NOINTERFACE;
        JackSettings settings;
        readJackSettings(clsid_, &settings);
        auto* driver = new (std::nothrow) JackDriver(settings);
        if (driver == nullptr)
            return E_OUTOFMEMORY;
        *object = static_cast<IASIO*>(driver);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    CLSID clsid_;
    std::atomic<ULONG> references_{1};
};

} // namespace

TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                          void** object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (clsid != kJackDefaultClsid && !jackSettingsExist(clsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) JackClassFactory(clsid);
    if (factory == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(riid, object);
    factory->Release();
    return result;
}
