// The in-process COM server side, the same for each of our drivers: objects
// counted by reference that offer IUnknown and one interface, the class
// factory that DllGetClassObject hands out, and the count of live objects
// behind DllCanUnloadNow.
#pragma once

#include <atomic>

#include "platform/win32api.h"

// DllCanUnloadNow answers yes only while no object of this module is alive
// and nobody holds the server locked. Every ComObject counts itself.
void serverObjectCreated();
void serverObjectDestroyed();
HRESULT serverCanUnloadNow();

// IUnknown for an object that offers one interface besides it, asked for by
// interfaceId (a driver's is its own class identifier, as ASIO hosts ask).
// The object starts with the one reference its maker holds and deletes
// itself when the last one goes.
template <class Interface> class ComObject : public Interface {
  public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != interfaceId_) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

  protected:
    explicit ComObject(const IID& interfaceId) : interfaceId_(interfaceId) {
        serverObjectCreated();
    }
    virtual ~ComObject() { serverObjectDestroyed(); }

  private:
    const IID interfaceId_;
    std::atomic<ULONG> references_{1};
};

// Makes the driver object for a class identifier and gives out the interface
// asked for. *object is null and aggregation already refused when it is called.
using DriverCreator = HRESULT (*)(const CLSID& clsid, REFIID riid, void** object);

// Whether this module serves the class identifier at all.
using ClassAcceptor = bool (*)(const CLSID& clsid);

// Gives out the interface asked for from a freshly made object, then drops
// the reference its constructor held; E_OUTOFMEMORY when there is no object.
HRESULT handOutNewObject(IUnknown* created, REFIID riid, void** object);

// The whole of DllGetClassObject: one class factory per accepted class
// identifier, which leaves making the driver object to the driver.
HRESULT getDriverClassObject(const CLSID& clsid, REFIID riid, void** object, ClassAcceptor accepts,
                             DriverCreator create);
