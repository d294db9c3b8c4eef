#include "drivers/common/com_server.h"

#include <new>

namespace {

// Each module links its own copy of these, so they count that module alone.
std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

class DriverClassFactory : public ComObject<IClassFactory> {
  public:
    DriverClassFactory(const CLSID& clsid, DriverCreator create)
        : ComObject(IID_IClassFactory), clsid_(clsid), create_(create) {}

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
