// The shared object's entry point: the class factory that COM (or our
// stand-in for it) asks for a JACK device object.
#include <new>

#include "drivers/common/com_server.h"
#include "drivers/jack/jack_driver.h"
#include "drivers/jack/jack_guid.h"
#include "drivers/jack/jack_settings.h"

const CLSID kJackDefaultClsid = {
    0x0A35395Du, 0x4830, 0x4F2C, {0xB2, 0xE9, 0xAC, 0xF8, 0x87, 0xDA, 0xC2, 0x17}};

namespace {

bool servesJackClass(const CLSID& clsid) {
    return clsid == kJackDefaultClsid || jackSettingsExist(clsid);
}

HRESULT createJackDriver(const CLSID& clsid, REFIID riid, void** object) {
    // Hosts ask for the driver's own class identifier as the interface; any
    // other is refused before a device object exists.
    if (riid != clsid && riid != IID_IUnknown)
        return E_NOINTERFACE;
    JackSettings settings;
    readJackSettings(clsid, &settings);
    return handOutNewObject(new (std::nothrow) JackDriver(clsid, settings), riid, object);
}

} // namespace

TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                          void** object) {
    return getDriverClassObject(clsid, riid, object, servesJackClass, createJackDriver);
}
