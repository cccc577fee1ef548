// Small RAII owners for Windows handles: one owner per handle.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <utility>

namespace fw {

// Owner of a handle closed with Close(h); Invalid is the "no handle" value.
template <typename H, H Invalid, typename Closer>
class ScopedHandleT {
public:
    ScopedHandleT() = default;
    explicit ScopedHandleT(H h) : h_(h) {}
    ~ScopedHandleT() { reset(); }
    ScopedHandleT(const ScopedHandleT&) = delete;
    ScopedHandleT& operator=(const ScopedHandleT&) = delete;
    ScopedHandleT(ScopedHandleT&& o) noexcept : h_(std::exchange(o.h_, Invalid)) {}
    ScopedHandleT& operator=(ScopedHandleT&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, Invalid);
        }
        return *this;
    }
    H get() const { return h_; }
    H* receive() {
        reset();
        return &h_;
    }
    H release() { return std::exchange(h_, Invalid); }
    void reset(H h = Invalid) {
        if (h_ != Invalid) Closer()(h_);
        h_ = h;
    }
    explicit operator bool() const { return h_ != Invalid; }

private:
    H h_ = Invalid;
};

struct CloseHandleCloser { void operator()(HANDLE h) const { ::CloseHandle(h); } };
struct RegCloseKeyCloser { void operator()(HKEY h) const { ::RegCloseKey(h); } };
struct FreeLibraryCloser { void operator()(HMODULE h) const { ::FreeLibrary(h); } };
struct DeleteObjectCloser { void operator()(HGDIOBJ h) const { ::DeleteObject(h); } };
struct DestroyWindowCloser { void operator()(HWND h) const { ::DestroyWindow(h); } };

// Kernel handles whose "none" value is null (mutexes, processes, threads, events).
using ScopedHandle = ScopedHandleT<HANDLE, nullptr, CloseHandleCloser>;
using ScopedKey = ScopedHandleT<HKEY, nullptr, RegCloseKeyCloser>;
using ScopedModule = ScopedHandleT<HMODULE, nullptr, FreeLibraryCloser>;
using ScopedGdiObject = ScopedHandleT<HGDIOBJ, nullptr, DeleteObjectCloser>;

// File handles use INVALID_HANDLE_VALUE for "none".
class ScopedFile {
public:
    ScopedFile() = default;
    explicit ScopedFile(HANDLE h) : h_(h) {}
    ~ScopedFile() { reset(); }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    HANDLE get() const { return h_; }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
        h_ = h;
    }
    explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// COM interface pointer: Release on destruction.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already holds.
    static ComPtr Attach(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** receive() {
        reset();
        return &p_;
    }
    void** receive_void() { return reinterpret_cast<void**>(receive()); }
    explicit operator bool() const { return p_ != nullptr; }
    template <typename U>
    ComPtr<U> query(REFIID iid) const {
        ComPtr<U> out;
        if (p_) p_->QueryInterface(iid, out.receive_void());
        return out;
    }

private:
    T* p_ = nullptr;
};

// COM apartment for the GUI thread: uninitialised only when initialising succeeded.
class ScopedCom {
public:
    ScopedCom() : hr_(::CoInitialize(nullptr)) {}
    ~ScopedCom() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

// OLE (drag and drop, clipboard, in-place activation) on top of COM.
class ScopedOle {
public:
    ScopedOle() : hr_(::OleInitialize(nullptr)) {}
    ~ScopedOle() {
        if (SUCCEEDED(hr_)) ::OleUninitialize();
    }
    ScopedOle(const ScopedOle&) = delete;
    ScopedOle& operator=(const ScopedOle&) = delete;
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

// BSTR owner.
class ScopedBstr {
public:
    ScopedBstr() = default;
    explicit ScopedBstr(const wchar_t* s) : b_(::SysAllocString(s)) {}
    ~ScopedBstr() { ::SysFreeString(b_); }
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;
    BSTR get() const { return b_; }
    BSTR* receive() {
        ::SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }

private:
    BSTR b_ = nullptr;
};

}  // namespace fw
