#include "drivers/common/class_factory.h"

#include <atomic>
#include <new>

namespace {

// Each module links its own copy of these, so they count that module alone.
std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

class DriverClassFactory : public IClassFactory {
  public:
    DriverClassFactory(const CLSID& clsid, DriverCreator create)
        : clsid_(clsid), create_(create), references_(1) {
        serverObjectCreated();
    }
    virtual ~DriverClassFactory() { serverObjectDestroyed(); }

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
        return create_(clsid_, riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        serverLocks += lock ? 1 : -1;
        return S_OK;
    }

  private:
    CLSID clsid_;
    DriverCreator create_;
    std::atomic<ULONG> references_;
};

} // namespace

HRESULT getDriverClassObject(const CLSID& clsid, REFIID riid, void** object, ClassAcceptor accepts,
                             DriverCreator create) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (!accepts(clsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    return handOutNewObject(new (std::nothrow) DriverClassFactory(clsid, create), riid, object);
}

HRESULT handOutNewObject(IUnknown* created, REFIID riid, void** object) {
    if (created == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT result = created->QueryInterface(riid, object);
    created->Release();
    return result;
}

void serverObjectCreated() {
    ++liveObjects;
}

void serverObjectDestroyed() {
    --liveObjects;
}

HRESULT serverCanUnloadNow() {
    return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}
