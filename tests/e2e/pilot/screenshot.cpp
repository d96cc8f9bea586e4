#include "tests/e2e/pilot/screenshot.h"

#include "tests/e2e/pilot/owned_handles.h"

#include <cstdio>
#include <vector>

namespace e2e {
namespace {

std::string Win32Failure(const char* what, DWORD error) {
    return std::string(what) + " failed, error " + std::to_string(error);
}

bool WriteBmp(const std::string& path, int width, int height, const std::vector<BYTE>& pixels) {
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height; // bottom-up, as GetDIBits gave it
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(pixels.size());
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!out)
        return false;
    return std::fwrite(&file, sizeof(file), 1, out.get()) == 1 &&
           std::fwrite(&info, sizeof(info), 1, out.get()) == 1 &&
           std::fwrite(pixels.data(), 1, pixels.size(), out.get()) == pixels.size();
}

} // namespace

std::string SaveWindowBitmap(HWND window, const std::string& path) {
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return Win32Failure("GetWindowRect", GetLastError());
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return "window has no area";

    // The window belongs to another process, whose drawing we cannot ask
    // for through a DC of ours (PrintWindow would hand it our DC); the
    // screen holds what the user sees, and the program's windows are
    // topmost.
    ScreenDc screen;
    if (!screen.get())
        return Win32Failure("GetDC", GetLastError());
    OwnedMemoryDc memory(CreateCompatibleDC(screen.get()));
    if (!memory)
        return Win32Failure("CreateCompatibleDC", GetLastError());
    OwnedBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
    if (!bitmap)
        return Win32Failure("CreateCompatibleBitmap", GetLastError());
    {
        DcSelection selected(memory.get(), bitmap.get());
        if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top,
                    SRCCOPY | CAPTUREBLT))
            return Win32Failure("BitBlt", GetLastError());
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    std::vector<BYTE> pixels(stride * static_cast<size_t>(height));
    if (GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(), &info,
                  DIB_RGB_COLORS) != height)
        return Win32Failure("GetDIBits", GetLastError());
    if (!WriteBmp(path, width, height, pixels))
        return "cannot write " + path;
    return {};
}

} // namespace e2e
