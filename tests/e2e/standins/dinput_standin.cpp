// Stand-in for DINPUT.DLL: DirectInputCreateEx hands out an IDirectInput7W
// whose joysticks, readings and failures come from the scripted state file
// (see standin_common.h and the harness). Every call the program makes is
// appended to the call log.
#define DIRECTINPUT_VERSION 0x0700
#include <initguid.h>

#include <dinput.h>

#include "standin_common.h"

namespace {

using standin::Log;
using standin::State;

constexpr int kMaxDevices = 2;
// Product GUIDs follow the PIDVID layout: Data1 = PID << 16 | VID.
const GUID kDefaultProduct = {0xBEEF1234, 0x0000, 0x0000, {0x00, 0x00, 0x50, 0x49, 0x44, 0x56, 0x49, 0x44}};

GUID InstanceGuid(int index) {
    return {0x5E1F0000u + static_cast<unsigned>(index), 0x0000, 0x11EE, {0x80, 0, 0, 0, 0, 0, 0, 0x42}};
}

void GuidText(const GUID& g, char* out, size_t capacity) {
    std::snprintf(out, capacity, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                  g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
}

bool ParseGuid(const char* text, GUID& g) {
    unsigned long d1 = 0;
    unsigned d2 = 0, d3 = 0, b[8] = {};
    if (std::sscanf(text, "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0], &b[1], &b[2],
                    &b[3], &b[4], &b[5], &b[6], &b[7]) != 11)
        return false;
    g.Data1 = d1;
    g.Data2 = static_cast<unsigned short>(d2);
    g.Data3 = static_cast<unsigned short>(d3);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = static_cast<unsigned char>(b[i]);
    return true;
}

GUID ProductGuid(const State& s, int index) {
    char key[32];
    std::snprintf(key, sizeof(key), "di.product.%d", index);
    GUID g = kDefaultProduct;
    const char* text = s.Get(key);
    if (text != nullptr && !ParseGuid(text, g)) g = kDefaultProduct;
    return g;
}

int DeviceCount(const State& s) {
    long n = s.Int("di.devices", 0);
    return n < 0 ? 0 : n > kMaxDevices ? kMaxDevices : static_cast<int>(n);
}

const char* IidName(REFIID riid) {
    if (IsEqualGUID(riid, IID_IDirectInput7W)) return "IDirectInput7W";
    if (IsEqualGUID(riid, IID_IDirectInput7A)) return "IDirectInput7A";
    if (IsEqualGUID(riid, IID_IDirectInput2W)) return "IDirectInput2W";
    if (IsEqualGUID(riid, IID_IDirectInputW)) return "IDirectInputW";
    if (IsEqualGUID(riid, IID_IDirectInputDevice7W)) return "IDirectInputDevice7W";
    if (IsEqualGUID(riid, IID_IDirectInputDevice7A)) return "IDirectInputDevice7A";
    if (IsEqualGUID(riid, IID_IDirectInputDevice2W)) return "IDirectInputDevice2W";
    if (IsEqualGUID(riid, IID_IDirectInputDeviceW)) return "IDirectInputDeviceW";
    if (IsEqualGUID(riid, IID_IUnknown)) return "IUnknown";
    return "other";
}

// The axis a DIPH_BYOFFSET object offset of c_dfDIJoystick names.
const char* AxisAt(DWORD offset) {
    switch (offset) {
    case DIJOFS_X: return "x";
    case DIJOFS_Y: return "y";
    case DIJOFS_Z: return "z";
    case DIJOFS_RX: return "rx";
    case DIJOFS_RY: return "ry";
    case DIJOFS_RZ: return "rz";
    default: return "other";
    }
}

class Device final : public IDirectInputDevice7W {
  public:
    explicit Device(int index) : index_(index) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** out) override {
        Log("di", "QueryInterface device=%d iid=%s", index_, IidName(riid));
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirectInputDeviceW) ||
            IsEqualGUID(riid, IID_IDirectInputDevice2W) || IsEqualGUID(riid, IID_IDirectInputDevice7W)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++refs_); }
    STDMETHOD_(ULONG, Release)() override {
        long left = --refs_;
        Log("di", "Release device=%d refs=%ld", index_, left);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT df) override {
        HRESULT hr = DI_OK;
        if (df == nullptr)
            hr = DIERR_INVALIDPARAM;
        else if (acquired_)
            hr = DIERR_ACQUIRED;
        else {
            dataSize_ = df->dwDataSize;
            formatSet_ = true;
        }
        Log("di", "SetDataFormat device=%d size=%lu objsize=%lu flags=0x%lx datasize=%lu objs=%lu hr=0x%lx",
            index_, df ? df->dwSize : 0, df ? df->dwObjSize : 0, df ? df->dwFlags : 0,
            df ? df->dwDataSize : 0, df ? df->dwNumObjs : 0, static_cast<unsigned long>(hr));
        return hr;
    }

    STDMETHOD(SetProperty)(REFGUID prop, LPCDIPROPHEADER header) override {
        const ULONG_PTR id = reinterpret_cast<ULONG_PTR>(&prop);
        State s;
        standin::LoadState(s);
        HRESULT hr = DI_OK;
        if (header == nullptr || header->dwHeaderSize != sizeof(DIPROPHEADER)) {
            hr = DIERR_INVALIDPARAM;
        } else if (id == 4) { // DIPROP_RANGE is MAKEDIPROP(4)
            const char* axis = header->dwHow == DIPH_BYOFFSET ? AxisAt(header->dwObj) : "other";
            if (header->dwSize != sizeof(DIPROPRANGE))
                hr = DIERR_INVALIDPARAM;
            else if (acquired_)
                hr = DIERR_ACQUIRED;
            else {
                char key[32];
                std::snprintf(key, sizeof(key), "di.range_hr.%s", axis);
                hr = static_cast<HRESULT>(s.Int(key, DI_OK));
            }
            const DIPROPRANGE* range = reinterpret_cast<const DIPROPRANGE*>(header);
            Log("di",
                "SetProperty device=%d prop=RANGE how=%lu obj=%lu axis=%s size=%lu header=%lu min=%ld "
                "max=%ld hr=0x%lx",
                index_, header->dwHow, header->dwObj, axis, header->dwSize, header->dwHeaderSize,
                header->dwSize >= sizeof(DIPROPRANGE) ? range->lMin : 0,
                header->dwSize >= sizeof(DIPROPRANGE) ? range->lMax : 0, static_cast<unsigned long>(hr));
            return hr;
        }
        Log("di", "SetProperty device=%d prop=%lu how=%lu obj=%lu hr=0x%lx", index_,
            static_cast<unsigned long>(id), header ? header->dwHow : 0, header ? header->dwObj : 0,
            static_cast<unsigned long>(hr));
        return hr;
    }

    STDMETHOD(Acquire)() override {
        HRESULT hr = DI_OK;
        if (!formatSet_)
            hr = DIERR_INVALIDPARAM;
        else if (acquired_)
            hr = DI_NOEFFECT;
        else {
            acquired_ = true;
            ++acquires_;
        }
        Log("di", "Acquire device=%d hr=0x%lx count=%d", index_, static_cast<unsigned long>(hr), acquires_);
        return hr;
    }
    STDMETHOD(Unacquire)() override {
        HRESULT hr = acquired_ ? DI_OK : DI_NOEFFECT;
        acquired_ = false;
        Log("di", "Unacquire device=%d hr=0x%lx", index_, static_cast<unsigned long>(hr));
        return hr;
    }

    // A failing device ("di.fail=1") loses its acquisition, as an unplugged
    // one does: reads stay failing until the program acquires it again.
    STDMETHOD(Poll)() override {
        State s;
        standin::LoadState(s);
        HRESULT hr = DI_OK;
        if (!acquired_)
            hr = DIERR_NOTACQUIRED;
        else if (s.Int("di.fail", 0) != 0) {
            acquired_ = false;
            hr = DIERR_INPUTLOST;
        }
        Log("di", "Poll device=%d hr=0x%lx", index_, static_cast<unsigned long>(hr));
        return hr;
    }

    STDMETHOD(GetDeviceState)(DWORD size, LPVOID data) override {
        State s;
        standin::LoadState(s);
        standin::MaybeBlock(s, "di", "GetDeviceState");
        HRESULT hr = DI_OK;
        if (data == nullptr || !formatSet_ || size != dataSize_)
            hr = DIERR_INVALIDPARAM;
        else if (!acquired_)
            hr = DIERR_NOTACQUIRED;
        else if (s.Int("di.fail", 0) != 0) {
            acquired_ = false;
            hr = DIERR_INPUTLOST;
        } else {
            std::memset(data, 0, size);
            if (size == sizeof(DIJOYSTATE)) {
                DIJOYSTATE* js = static_cast<DIJOYSTATE*>(data);
                js->lX = s.Int("di.x", 0);
                js->lY = s.Int("di.y", 0);
                js->lZ = s.Int("di.z", 0);
                js->lRx = s.Int("di.rx", 0);
                js->lRy = s.Int("di.ry", 0);
                js->lRz = s.Int("di.rz", 0);
                for (DWORD& pov : js->rgdwPOV)
                    pov = 0xFFFFFFFFu;
                js->rgdwPOV[0] = static_cast<DWORD>(s.Int("di.pov", -1));
                for (int i = 0; i < 32; ++i)
                    js->rgbButtons[i] = static_cast<BYTE>(s.ListItem("di.buttons", i, 0));
            }
        }
        Log("di", "GetDeviceState device=%d size=%lu hr=0x%lx", index_, size, static_cast<unsigned long>(hr));
        return hr;
    }

    STDMETHOD(SetCooperativeLevel)(HWND window, DWORD flags) override {
        Log("di", "SetCooperativeLevel device=%d hwnd=%p flags=0x%lx", index_, static_cast<void*>(window),
            flags);
        return DI_OK;
    }

    // Nothing else is part of what the program may use.
    STDMETHOD(GetCapabilities)(LPDIDEVCAPS) override { return Unsupported("GetCapabilities"); }
    STDMETHOD(EnumObjects)(LPDIENUMDEVICEOBJECTSCALLBACKW, LPVOID, DWORD) override {
        return Unsupported("EnumObjects");
    }
    STDMETHOD(GetProperty)(REFGUID, LPDIPROPHEADER) override { return Unsupported("GetProperty"); }
    STDMETHOD(GetDeviceData)(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override {
        return Unsupported("GetDeviceData");
    }
    STDMETHOD(SetEventNotification)(HANDLE) override { return Unsupported("SetEventNotification"); }
    STDMETHOD(GetObjectInfo)(LPDIDEVICEOBJECTINSTANCEW, DWORD, DWORD) override {
        return Unsupported("GetObjectInfo");
    }
    STDMETHOD(GetDeviceInfo)(LPDIDEVICEINSTANCEW) override { return Unsupported("GetDeviceInfo"); }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return Unsupported("RunControlPanel"); }
    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return Unsupported("Initialize"); }
    STDMETHOD(CreateEffect)(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT*, LPUNKNOWN) override {
        return Unsupported("CreateEffect");
    }
    STDMETHOD(EnumEffects)(LPDIENUMEFFECTSCALLBACKW, LPVOID, DWORD) override {
        return Unsupported("EnumEffects");
    }
    STDMETHOD(GetEffectInfo)(LPDIEFFECTINFOW, REFGUID) override { return Unsupported("GetEffectInfo"); }
    STDMETHOD(GetForceFeedbackState)(LPDWORD) override { return Unsupported("GetForceFeedbackState"); }
    STDMETHOD(SendForceFeedbackCommand)(DWORD) override { return Unsupported("SendForceFeedbackCommand"); }
    STDMETHOD(EnumCreatedEffectObjects)(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override {
        return Unsupported("EnumCreatedEffectObjects");
    }
    STDMETHOD(Escape)(LPDIEFFESCAPE) override { return Unsupported("Escape"); }
    STDMETHOD(SendDeviceData)(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override {
        return Unsupported("SendDeviceData");
    }
    STDMETHOD(EnumEffectsInFile)(LPCWSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override {
        return Unsupported("EnumEffectsInFile");
    }
    STDMETHOD(WriteEffectToFile)(LPCWSTR, DWORD, LPDIFILEEFFECT, DWORD) override {
        return Unsupported("WriteEffectToFile");
    }

  private:
    HRESULT Unsupported(const char* call) {
        Log("di", "%s device=%d hr=unsupported", call, index_);
        return DIERR_UNSUPPORTED;
    }

    int index_;
    long refs_ = 1;
    bool formatSet_ = false;
    DWORD dataSize_ = 0;
    bool acquired_ = false;
    int acquires_ = 0;
};

class DirectInput final : public IDirectInput7W {
  public:
    STDMETHOD(QueryInterface)(REFIID riid, void** out) override {
        Log("di", "QueryInterface object=DirectInput iid=%s", IidName(riid));
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirectInputW) ||
            IsEqualGUID(riid, IID_IDirectInput2W) || IsEqualGUID(riid, IID_IDirectInput7W)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++refs_); }
    STDMETHOD_(ULONG, Release)() override {
        long left = --refs_;
        Log("di", "Release object=DirectInput refs=%ld", left);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    STDMETHOD(EnumDevices)
    (DWORD type, LPDIENUMDEVICESCALLBACKW callback, LPVOID context, DWORD flags) override {
        State s;
        standin::LoadState(s);
        const DWORD wanted = GET_DIDEVICE_TYPE(type);
        const bool joysticks = wanted == 0 || wanted == DIDEVTYPE_JOYSTICK;
        int reported = 0;
        bool stopped = false;
        if (callback == nullptr) {
            Log("di", "EnumDevices type=%lu flags=0x%lx hr=invalid", type, flags);
            return DIERR_INVALIDPARAM;
        }
        for (int i = 0; joysticks && i < DeviceCount(s) && !stopped; ++i) {
            DIDEVICEINSTANCEW info{};
            info.dwSize = sizeof(info);
            info.guidInstance = InstanceGuid(i);
            info.guidProduct = ProductGuid(s, i);
            info.dwDevType = DIDEVTYPE_HID | (DIDEVTYPEJOYSTICK_TRADITIONAL << 8) | DIDEVTYPE_JOYSTICK;
            std::swprintf(info.tszInstanceName, MAX_PATH, L"Stand-in Joystick %d", i);
            std::swprintf(info.tszProductName, MAX_PATH, L"Stand-in Joystick");
            char product[40];
            GuidText(info.guidProduct, product, sizeof(product));
            Log("di", "EnumDevices report device=%d product=%s", i, product);
            ++reported;
            stopped = callback(&info, context) == DIENUM_STOP;
        }
        Log("di", "EnumDevices type=%lu flags=0x%lx reported=%d stopped=%d", type, flags, reported,
            stopped ? 1 : 0);
        return DI_OK;
    }

    STDMETHOD(CreateDeviceEx)(REFGUID instance, REFIID riid, LPVOID* out, LPUNKNOWN outer) override {
        return Create("CreateDeviceEx", instance, IidName(riid), out, outer,
                      IsEqualGUID(riid, IID_IDirectInputDevice7W) ||
                          IsEqualGUID(riid, IID_IDirectInputDevice2W) ||
                          IsEqualGUID(riid, IID_IDirectInputDeviceW));
    }
    STDMETHOD(CreateDevice)(REFGUID instance, LPDIRECTINPUTDEVICEW* out, LPUNKNOWN outer) override {
        return Create("CreateDevice", instance, "IDirectInputDeviceW", reinterpret_cast<LPVOID*>(out), outer,
                      true);
    }

    STDMETHOD(GetDeviceStatus)(REFGUID) override { return Unsupported("GetDeviceStatus"); }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return Unsupported("RunControlPanel"); }
    STDMETHOD(Initialize)(HINSTANCE, DWORD) override { return Unsupported("Initialize"); }
    STDMETHOD(FindDevice)(REFGUID, LPCWSTR, LPGUID) override { return Unsupported("FindDevice"); }

  private:
    HRESULT Create(const char* call, REFGUID instance, const char* iid, LPVOID* out, LPUNKNOWN outer,
                   bool known) {
        State s;
        standin::LoadState(s);
        int found = -1;
        for (int i = 0; i < DeviceCount(s); ++i)
            if (IsEqualGUID(instance, InstanceGuid(i))) found = i;
        HRESULT hr = DI_OK;
        if (out == nullptr)
            hr = DIERR_INVALIDPARAM;
        else if (outer != nullptr)
            hr = DIERR_NOAGGREGATION;
        else if (!known)
            hr = DIERR_NOINTERFACE;
        else if (found < 0)
            hr = DIERR_DEVICENOTREG;
        if (out != nullptr)
            *out = hr == DI_OK ? static_cast<IDirectInputDevice7W*>(new Device(found)) : nullptr;
        Log("di", "%s device=%d iid=%s hr=0x%lx", call, found, iid, static_cast<unsigned long>(hr));
        return hr;
    }
    HRESULT Unsupported(const char* call) {
        Log("di", "%s object=DirectInput hr=unsupported", call);
        return E_NOTIMPL;
    }

    long refs_ = 1;
};

} // namespace

extern "C" HRESULT WINAPI DirectInputCreateEx(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out,
                                              LPUNKNOWN outer) {
    HRESULT hr = DI_OK;
    const bool known = IsEqualGUID(riid, IID_IDirectInput7W) || IsEqualGUID(riid, IID_IDirectInput2W) ||
                       IsEqualGUID(riid, IID_IDirectInputW);
    if (out == nullptr)
        hr = DIERR_INVALIDPARAM;
    else if (outer != nullptr)
        hr = DIERR_NOAGGREGATION;
    else if (!known)
        hr = DIERR_NOINTERFACE;
    if (out != nullptr) *out = hr == DI_OK ? static_cast<IDirectInput7W*>(new DirectInput()) : nullptr;
    Log("di", "DirectInputCreateEx version=0x%04lx iid=%s hinst=%d hr=0x%lx", version, IidName(riid),
        instance != nullptr ? 1 : 0, static_cast<unsigned long>(hr));
    return hr;
}
