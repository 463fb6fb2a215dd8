#pragma once

// Pieces every file of the Windows back-end shares: COM ownership, text
// conversion between the platform's UTF-16 and the seam's UTF-8, and the
// kernel-streaming topology interface, which the SDK declares only in a
// header that not every tool chain ships.

#include <windows.h>

#include <ks.h>

#include <string>
#include <utility>

#include "platform/backend/Guid.h"
#include "platform/backend/HResult.h"

namespace sv::platform::win {

// Owns one reference to a COM object. Attach takes over a reference the
// caller holds (as from a creation function or an array the platform hands
// out); copies add one; the destructor gives its reference back. Written here
// because one tool chain's library version adds a reference in Attach.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ~ComPtr() { Reset(); }
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // For out parameters of the platform's functions, which hand over a reference.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &p_;
    }
    void Attach(T* object) {
        Reset();
        p_ = object;
    }
    T* Detach() {
        T* object = p_;
        p_ = nullptr;
        return object;
    }
    void Reset() {
        if (p_) {
            T* object = p_;
            p_ = nullptr;
            object->Release();
        }
    }
    template <typename U>
    HRESULT As(ComPtr<U>& out) const {
        return p_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
    }

private:
    T* p_ = nullptr;
};

std::string Utf8(const wchar_t* text, int length = -1);
std::wstring Utf16(const std::string& text);

inline GUID ToGUID(const Guid& g) {
    GUID out;
    out.Data1 = g.data1;
    out.Data2 = g.data2;
    out.Data3 = g.data3;
    for (int i = 0; i < 8; ++i) out.Data4[i] = g.data4[i];
    return out;
}
inline Guid FromGUID(const GUID& g) {
    return Guid(g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
}

// The last Win32 error as a result code of the seam.
inline HResult LastErrorResult() {
    const DWORD error = GetLastError();
    return error == 0 ? HR_E_FAIL : HResultFromWin32(error);
}

// The topology of a kernel-streaming filter (the capture device): its nodes,
// among them the extension unit, each reachable as a property target.
MIDL_INTERFACE("720D4AC0-7533-11D0-A5D6-28DB04C10000")
IKsTopologyInfo : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_NumCategories(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Category(DWORD index, GUID* category) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NumConnections(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ConnectionInfo(DWORD index, KSTOPOLOGY_CONNECTION* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NodeName(DWORD nodeId, WCHAR* name, DWORD size, DWORD* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NumNodes(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NodeType(DWORD nodeId, GUID* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD nodeId, REFIID iid, void** object) = 0;
};

// {720D4AC0-7533-11D0-A5D6-28DB04C10000}
constexpr GUID kIID_IKsTopologyInfo = {0x720D4AC0, 0x7533, 0x11D0, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};

}  // namespace sv::platform::win
