// Drawing objects over the headless backend: bitmaps loaded from files,
// memory contexts, and painting into a window's back buffer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/window/afxwin.h"
#include "platform/window/headless.h"
#include "tests/platform/window/window_fixture.h"

namespace {

using namespace window_test;

class GdiTest : public WindowTest {};

// A 24-bit bottom-up BMP file.
void WriteBmp(const std::string &path, int w, int h, const std::function<COLORREF(int, int)> &pixel) {
  int stride = (w * 3 + 3) / 4 * 4;
  std::vector<unsigned char> data(54 + (size_t)stride * h, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + i] = (unsigned char)(v >> (8 * i));
  };
  data[0] = 'B', data[1] = 'M';
  put32(2, (uint32_t)data.size());
  put32(10, 54);
  put32(14, 40);
  put32(18, (uint32_t)w);
  put32(22, (uint32_t)h);
  data[26] = 1, data[28] = 24;
  put32(34, (uint32_t)(stride * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      COLORREF c = pixel(x, y);
      size_t at = 54 + (size_t)(h - 1 - y) * stride + (size_t)x * 3;
      data[at] = GetBValue(c), data[at + 1] = GetGValue(c), data[at + 2] = GetRValue(c);
    }
  std::ofstream(path, std::ios::binary).write((const char *)data.data(), (std::streamsize)data.size());
}

// Paints the skin stretched over the window.
class Skinned : public CDialog {
 public:
  Skinned() : CDialog(IDD_PLAIN) {}

 protected:
  void OnPaint() {
    CPaintDC dc(this);
    CRect r;
    GetWindowRect(&r);
    CDC mem;
    mem.CreateCompatibleDC(&dc);
    CBitmap bmp;
    bmp.LoadBitmap(IDB_SKIN);
    CBitmap *old = mem.SelectObject(&bmp);
    BITMAP bm;
    bmp.GetBitmap(&bm);
    dc.StretchBlt(0, 0, r.Width(), r.Height(), &mem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    mem.SelectObject(old);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(Skinned, CDialog)
ON_WM_PAINT()
END_MESSAGE_MAP()

TEST_F(GdiTest, BitmapsLoadFromFilesAndPaintIntoTheWindow) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tickora_gdi_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  WriteBmp((dir / "skin.bmp").string(), 4, 2,
           [](int x, int y) { return x == 0 && y == 0 ? RGB(0, 0, 0) : RGB(10 * x, 20 * y, 200); });
  SetResourceFolder(dir.wstring());
  RegisterBitmapResource(IDB_SKIN, L"skin.bmp");
  RegisterBitmapResource(IDB_SKIN + 1, L"missing.bmp");

  CBitmap missing;
  EXPECT_FALSE(missing.LoadBitmap(IDB_SKIN + 1));
  EXPECT_FALSE(missing.LoadBitmap(4242));
  CDC mem;
  ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
  EXPECT_EQ(mem.SelectObject(&missing), nullptr);  // a bitmap never loaded cannot be selected
  BITMAP bm{};
  EXPECT_EQ(missing.GetBitmap(&bm), 0);

  CBitmap bmp;
  ASSERT_TRUE(bmp.LoadBitmap(IDB_SKIN));
  ASSERT_TRUE(bmp.GetBitmap(&bm));
  EXPECT_EQ(bm.bmWidth, 4);
  EXPECT_EQ(bm.bmHeight, 2);
  CBitmap *old = mem.SelectObject(&bmp);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(mem.GetPixel(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(mem.GetPixel(3, 1), RGB(30, 20, 200));
  EXPECT_EQ(mem.GetPixel(4, 0), CLR_INVALID);
  mem.SelectObject(old);

  Skinned wnd;
  wnd.Create(IDD_PLAIN);
  wnd.MoveWindow(0, 0, 8, 4);
  wnd.ShowWindow(SW_SHOW);
  HeadlessPumpMessages();
  EXPECT_EQ(HeadlessWindowPixel(wnd.m_hWnd, 7, 3), RGB(30, 20, 200));  // stretched twice in each direction
  EXPECT_EQ(HeadlessWindowPixel(wnd.m_hWnd, 1, 1), RGB(0, 0, 0));
  EXPECT_EQ(HeadlessWindowPixel(wnd.m_hWnd, 2, 0), RGB(10, 0, 200));
  std::filesystem::remove_all(dir);
}

}  // namespace
