#include "win32/bqWinThumbnail.h"

// The WIC class and interface ids are defined here rather than taken from a library.
#include <initguid.h>
#include <wincodec.h>

#include <vector>

namespace bq::win32 {

namespace {
// Releases a COM interface at the end of its scope.
template <typename T>
struct TComPtr {
  T* P = nullptr;
  ~TComPtr() {
    if (P) P->Release();
  }
  T** operator&() { return &P; }
  T* operator->() const { return P; }
};

// COM on this thread for the decoding, when the thread has none yet.
struct TComScope {
  HRESULT Result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ~TComScope() {
    if (SUCCEEDED(Result)) CoUninitialize();
  }
};
}  // namespace

HBITMAP DecodeThumbnail(std::string_view bytes, int maxSide) {
  if (bytes.empty() || bytes.size() > 64u * 1024 * 1024 || maxSide <= 0) return nullptr;
  TComScope com;
  // The stream reads the bytes in place; they stay for the whole decoding.
  std::vector<BYTE> data(bytes.begin(), bytes.end());
  TComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(&factory))))
    return nullptr;
  TComPtr<IWICStream> stream;
  TComPtr<IWICBitmapDecoder> decoder;
  TComPtr<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  if (FAILED(factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(data.data(), static_cast<DWORD>(data.size()))) ||
      FAILED(factory->CreateDecoderFromStream(stream.P, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0)
    return nullptr;
  UINT w = width, h = height;
  if (w > static_cast<UINT>(maxSide) || h > static_cast<UINT>(maxSide)) {
    if (w >= h) {
      h = static_cast<UINT>(static_cast<unsigned long long>(h) * maxSide / w);
      w = static_cast<UINT>(maxSide);
    } else {
      w = static_cast<UINT>(static_cast<unsigned long long>(w) * maxSide / h);
      h = static_cast<UINT>(maxSide);
    }
    if (w == 0) w = 1;
    if (h == 0) h = 1;
  }
  TComPtr<IWICBitmapScaler> scaler;
  TComPtr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateBitmapScaler(&scaler)) ||
      FAILED(scaler->Initialize(frame.P, w, h, WICBitmapInterpolationModeFant)) ||
      FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(scaler.P, GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(w);
  info.bmiHeader.biHeight = -static_cast<LONG>(h);  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return nullptr;
  if (FAILED(converter->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE*>(bits)))) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

}  // namespace bq::win32
