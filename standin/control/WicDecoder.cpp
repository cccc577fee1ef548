#include "WicDecoder.h"

#include <windows.h>
#include <wincodec.h>

#include <limits>
#include <utility>

#include "ScopedWin.h"

namespace standin {

namespace {

// COM for the length of one call on a thread that may not have it yet; a
// thread already in an apartment of either kind keeps it.
class CallApartment {
public:
    CallApartment() : hr_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~CallApartment() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    CallApartment(const CallApartment&) = delete;
    CallApartment& operator=(const CallApartment&) = delete;
    bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

}  // namespace

bool WicDecoder::decode(const std::uint8_t* data, std::size_t size, raster::Bitmap& out) {
    if (!data || size == 0 || size > std::numeric_limits<DWORD>::max()) return false;
    CallApartment com;
    if (!com.usable()) return false;

    fw::ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  factory.receive_void())))
        return false;
    fw::ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.receive())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), DWORD(size))))
        return false;
    fw::ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.receive())))
        return false;
    fw::ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.receive()))) return false;
    fw::ComPtr<IWICBitmapSource> pixels;
    if (FAILED(::WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, frame.get(), pixels.receive()))) return false;

    UINT w = 0, h = 0;
    if (FAILED(pixels->GetSize(&w, &h)) || w == 0 || h == 0) return false;
    if (w > 0x7FFFFFFFu / 4 || h > 0x7FFFFFFFu || std::size_t(w) * std::size_t(h) > maxPixels_) return false;
    const std::size_t count = std::size_t(w) * std::size_t(h);
    if (count * 4 > std::numeric_limits<UINT>::max()) return false;
    raster::Bitmap b;
    b.width = int(w);
    b.height = int(h);
    b.pixels.resize(count);
    // 32bppPBGRA is bytes B,G,R,A: as a little-endian word the bitmap's 0xAARRGGBB.
    if (FAILED(pixels->CopyPixels(nullptr, w * 4, UINT(count * 4), reinterpret_cast<BYTE*>(b.pixels.data()))))
        return false;
    b.opaque = true;
    for (std::uint32_t p : b.pixels) {
        if ((p >> 24) != 0xFF) {
            b.opaque = false;
            break;
        }
    }
    out = std::move(b);
    return true;
}

}  // namespace standin
