// The in-process COM server: one class factory per loopback device, created
// for the default class identifier or any that has a settings key.
#include <new>

#include "drivers/common/com_server.h"
#include "drivers/loopback/loopback_driver.h"
#include "drivers/loopback/loopback_guid.h"
#include "drivers/loopback/loopback_settings.h"

namespace {

bool servesLoopbackClass(const CLSID& clsid) {
    return clsid == kLoopbackDefaultClsid || loopbackSettingsExist(clsid);
}

HRESULT createLoopbackDriver(const CLSID& clsid, REFIID riid, void** object) {
    return handOutNewObject(new (std::nothrow) LoopbackDriver(clsid), riid, object);
}

} // namespace

TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                          LPVOID* object) {
    return getDriverClassObject(clsid, riid, object, servesLoopbackClass, createLoopbackDriver);
}

TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllCanUnloadNow() {
    return serverCanUnloadNow();
}
