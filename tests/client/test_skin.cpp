// The bitmap skin headless: size and region from a bitmap's pixels, the failure
// messages, and painting.
#include "client/skin.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/window/headless.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr UINT kTemplate = 910;
constexpr UINT kBitmap = 911;
constexpr UINT kMissingBitmap = 912;

// Writes a 24-bit BMP; pixels[y][x] as COLORREF, top row first.
void WriteBmp(const std::string &path, const std::vector<std::vector<COLORREF>> &pixels) {
  const int h = (int)pixels.size(), w = (int)pixels[0].size();
  const int stride = (w * 3 + 3) & ~3;
  std::vector<unsigned char> image;
  for (int y = h - 1; y >= 0; --y) {  // rows bottom-up
    for (int x = 0; x < w; ++x) {
      const COLORREF c = pixels[y][x];
      image.push_back(GetBValue(c));
      image.push_back(GetGValue(c));
      image.push_back(GetRValue(c));
    }
    image.resize(image.size() + (stride - w * 3), 0);
  }
  auto le = [](std::vector<unsigned char> &v, uint32_t x, int n) {
    for (int i = 0; i < n; ++i) v.push_back((unsigned char)(x >> (8 * i)));
  };
  std::vector<unsigned char> file;
  file.push_back('B');
  file.push_back('M');
  le(file, 54 + image.size(), 4);
  le(file, 0, 4);
  le(file, 54, 4);
  le(file, 40, 4);
  le(file, w, 4);
  le(file, h, 4);
  le(file, 1, 2);
  le(file, 24, 2);
  le(file, 0, 4);
  le(file, image.size(), 4);
  le(file, 2835, 4);
  le(file, 2835, 4);
  le(file, 0, 4);
  le(file, 0, 4);
  file.insert(file.end(), image.begin(), image.end());
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fwrite(file.data(), 1, file.size(), f);
  fclose(f);
}

// A frameless window whose WM_PAINT paints its skin bitmap.
class SkinnedWindow : public CDialog {
 public:
  UINT bitmap = 0;

 protected:
  void OnPaint() { PaintWindowSkin(this, bitmap); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(SkinnedWindow, CDialog)
ON_WM_PAINT()
END_MESSAGE_MAP()

class SkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessReset();
    SetResourceFolder(MultiByteToWide(CP_UTF8, dir_.path()));
    RegisterDialogTemplate({kTemplate, 40, 40, WS_POPUP, 0, nullptr, 8, {}});
    ASSERT_TRUE(wnd_.Create(kTemplate, nullptr));
    wnd_.SetWindowPos(nullptr, 30, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    wnd_.ShowWindow(SW_SHOW);
  }
  void TearDown() override { wnd_.DestroyWindow(); }

  void Skin(UINT id) {
    CDC *dc = wnd_.GetDC();
    SetWindowSkin(&wnd_, dc, id, RGB(0, 0, 0));
    wnd_.ReleaseDC(dc);
  }

  testsupport::TempDir dir_;
  SkinnedWindow wnd_;
};

TEST_F(SkinTest, TransparentPixelsAreCutFromTheRegion) {
  const COLORREF W = RGB(250, 240, 200), K = RGB(0, 0, 0), N = RGB(1, 0, 0);
  // Black at (0, 0) and (3, 2); a colour one step from black stays.
  WriteBmp(dir_.path() + "/skin.bmp", {
                                          {K, W, W, W, W},
                                          {W, W, W, W, N},
                                          {W, W, W, K, W},
                                      });
  RegisterBitmapResource(kBitmap, L"skin.bmp");
  Skin(kBitmap);

  EXPECT_TRUE(HeadlessMessageBoxes().empty());
  const RECT r = HeadlessGetWindow(wnd_.m_hWnd).rect;
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 5);
  EXPECT_EQ(r.bottom, 3);

  CRgn region;
  region.CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(wnd_.GetWindowRgn(region), ERROR);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(region.PtInRegion(x, y) != 0, !((x == 0 && y == 0) || (x == 3 && y == 2))) << x << "," << y;
  EXPECT_FALSE(region.PtInRegion(5, 0));
  EXPECT_FALSE(region.PtInRegion(0, 3));

  // Painting copies the bitmap at its own size.
  wnd_.bitmap = kBitmap;
  wnd_.Invalidate();
  HeadlessPumpMessages();
  const COLORREF expected[3][5] = {{K, W, W, W, W}, {W, W, W, W, N}, {W, W, W, K, W}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(HeadlessWindowPixel(wnd_.m_hWnd, x, y), expected[y][x]) << x << "," << y;
}

TEST_F(SkinTest, PaintStretchesTheBitmapOverTheWindow) {
  const COLORREF A = RGB(200, 0, 0), B = RGB(0, 200, 0), C = RGB(0, 0, 200), D = RGB(200, 200, 0);
  WriteBmp(dir_.path() + "/quad.bmp", {{A, B}, {C, D}});
  RegisterBitmapResource(kBitmap, L"quad.bmp");
  wnd_.bitmap = kBitmap;
  wnd_.MoveWindow(0, 0, 20, 20, TRUE);
  wnd_.Invalidate();
  HeadlessPumpMessages();
  EXPECT_EQ(HeadlessWindowPixel(wnd_.m_hWnd, 4, 4), A);
  EXPECT_EQ(HeadlessWindowPixel(wnd_.m_hWnd, 15, 4), B);
  EXPECT_EQ(HeadlessWindowPixel(wnd_.m_hWnd, 4, 15), C);
  EXPECT_EQ(HeadlessWindowPixel(wnd_.m_hWnd, 15, 15), D);
}

TEST_F(SkinTest, MissingBitmapShowsTwoMessagesAndKeepsTheWindow) {
  const RECT before = HeadlessGetWindow(wnd_.m_hWnd).rect;
  Skin(kMissingBitmap);

  const std::vector<HeadlessMessageBox> boxes = HeadlessMessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, L"加载位图失败！");
  EXPECT_EQ(boxes[1].text, L"选进设备描述表失败！");
  for (const HeadlessMessageBox &b : boxes) {
    EXPECT_EQ(b.caption, AfxGetAppName() ? std::wstring(AfxGetAppName()) : std::wstring());
    EXPECT_EQ(b.type & MB_TYPEMASK, (UINT)MB_OK);
    EXPECT_EQ(b.owner, wnd_.m_hWnd);
  }

  const HeadlessWindowInfo after = HeadlessGetWindow(wnd_.m_hWnd);
  EXPECT_EQ(after.rect.left, before.left);
  EXPECT_EQ(after.rect.top, before.top);
  EXPECT_EQ(after.rect.right, before.right);
  EXPECT_EQ(after.rect.bottom, before.bottom);
  EXPECT_GT(after.rect.right - after.rect.left, 0);
  EXPECT_FALSE(after.hasRegion);
}

}  // namespace
