// The browser dialog over the headless backend: the page's elements by id,
// element texts, navigation from other threads, element clicks, swallowed
// right clicks, document completion.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/window/dhtml.h"
#include "platform/window/headless.h"

namespace {

enum : UINT { IDD_PAGE = 800, IDR_PAGE = 801 };

class Page : public CDHtmlDialog {
 public:
  Page() : CDHtmlDialog(IDD_PAGE, IDR_PAGE) {}
  std::vector<std::wstring> log;
  BOOL PreTranslateMessage(MSG *m) override {
    if (m->message == WM_RBUTTONDOWN || m->message == WM_RBUTTONDBLCLK) return TRUE;
    return CDHtmlDialog::PreTranslateMessage(m);
  }
  void OnDocumentComplete(LPDISPATCH d, LPCTSTR url) override {
    CDHtmlDialog::OnDocumentComplete(d, url);
    log.push_back(std::wstring(L"complete ") + url);
  }

 protected:
  HRESULT OnButtonOK(IHTMLElement *e) {
    log.push_back(std::wstring(L"click ") + e->GetId());
    ShowWindow(SW_HIDE);
    return S_OK;
  }
  DECLARE_DHTML_EVENT_MAP()
};

BEGIN_DHTML_EVENT_MAP(Page)
DHTML_EVENT_ONCLICK(L"ButtonOK", OnButtonOK)
END_DHTML_EVENT_MAP()

class DhtmlTest : public ::testing::Test {
 protected:
  std::filesystem::path dir_;
  void SetUp() override {
    HeadlessReset();
    UnregisterAllResources();
    dir_ = std::filesystem::temp_directory_path() / ("tickora_dhtml_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "page.htm") << "<html><body style=\"background:#ddd\">\n"
                                        "<span id=\"price_a\">--</span><p id='note'>a &amp; b</p>\n"
                                        "<button id=ButtonOK>确定</button><button id=\"ButtonCancel\">取消</button>\n"
                                        "</body></html>";
    SetResourceFolder(dir_.wstring());
    RegisterHtmlResource(IDR_PAGE, L"page.htm");
    RegisterDialogTemplate({IDD_PAGE, 181, 288, WS_POPUP | WS_VISIBLE | WS_SYSMENU, WS_EX_APPWINDOW, nullptr, 9, {}});
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
};

TEST_F(DhtmlTest, ThePageResourceGivesTheElementsById) {
  Page dlg;
  ASSERT_TRUE(dlg.Create(IDD_PAGE));
  EXPECT_EQ(HeadlessLoadedHtmlFile(dlg.m_hWnd), (dir_ / "page.htm").wstring());
  EXPECT_EQ(HeadlessElementIds(dlg.m_hWnd),
            (std::vector<std::wstring>{L"price_a", L"note", L"ButtonOK", L"ButtonCancel"}));
  EXPECT_EQ(HeadlessElementText(dlg.m_hWnd, L"note"), L"a & b");
  EXPECT_EQ(HeadlessElementText(dlg.m_hWnd, L"ButtonOK"), L"确定");
}

TEST_F(DhtmlTest, SetElementTextChangesOnlyAnElementThePageHas) {
  Page dlg;
  dlg.Create(IDD_PAGE);
  BSTR text = SysAllocString(L"3500.5");
  dlg.SetElementText(L"price_a", text);
  dlg.SetElementText(L"absent", text);
  SysFreeString(text);
  EXPECT_EQ(HeadlessElementText(dlg.m_hWnd, L"price_a"), L"3500.5");
  EXPECT_FALSE(HeadlessElementText(dlg.m_hWnd, L"absent").has_value());
  EXPECT_EQ(HeadlessElementIds(dlg.m_hWnd).size(), 4u);
}

TEST_F(DhtmlTest, NavigateFromAWorkerIsCarriedOutOnTheUiThread) {
  Page dlg;
  dlg.Create(IDD_PAGE);
  dlg.Navigate(L"http://127.0.0.1/a");
  EXPECT_EQ(HeadlessNavigations(dlg.m_hWnd), std::vector<std::wstring>{L"http://127.0.0.1/a"});
  std::thread([&] { dlg.Navigate(L"http://127.0.0.1/b"); }).join();
  EXPECT_EQ(HeadlessNavigations(dlg.m_hWnd).size(), 1u);  // queued for the UI thread
  HeadlessPumpMessages();
  EXPECT_EQ(HeadlessNavigations(dlg.m_hWnd).back(), L"http://127.0.0.1/b");
  // A navigation queued for a window destroyed meanwhile does nothing.
  std::thread([&] { dlg.Navigate(L"http://127.0.0.1/c"); }).join();
  dlg.DestroyWindow();
  EXPECT_NO_FATAL_FAILURE(HeadlessPumpMessages());
  // ... and so does one queued for a dialog object deleted meanwhile.
  auto *gone = new Page;
  gone->Create(IDD_PAGE);
  std::thread([&] { gone->Navigate(L"http://127.0.0.1/d"); }).join();
  delete gone;
  EXPECT_NO_FATAL_FAILURE(HeadlessPumpMessages());
}

TEST_F(DhtmlTest, ClicksReachTheEventMapAndRightPressesAreSwallowed) {
  Page dlg;
  dlg.Create(IDD_PAGE);
  EXPECT_TRUE(dlg.IsWindowVisible());
  EXPECT_EQ(HeadlessClickElement(dlg.m_hWnd, L"ButtonOK"), S_OK);
  EXPECT_FALSE(dlg.IsWindowVisible());
  EXPECT_EQ(HeadlessClickElement(dlg.m_hWnd, L"ButtonCancel"), S_FALSE);  // no handler mapped
  EXPECT_EQ(HeadlessClickElement(dlg.m_hWnd, L"nothing"), E_INVALIDARG);
  EXPECT_EQ(dlg.log, std::vector<std::wstring>{L"click ButtonOK"});
  EXPECT_TRUE(HeadlessBrowserMouse(dlg.m_hWnd, WM_RBUTTONDOWN, POINT{5, 5}));
  EXPECT_TRUE(HeadlessBrowserMouse(dlg.m_hWnd, WM_RBUTTONDBLCLK, POINT{5, 5}));
  EXPECT_FALSE(HeadlessBrowserMouse(dlg.m_hWnd, WM_RBUTTONUP, POINT{5, 5}));
  EXPECT_FALSE(HeadlessBrowserMouse(dlg.m_hWnd, WM_LBUTTONDOWN, POINT{5, 5}));
}

TEST_F(DhtmlTest, DocumentCompleteCarriesTheUrlAndHostFlagsAreKept) {
  Page dlg;
  dlg.Create(IDD_PAGE);
  dlg.SetHostFlags(DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO);
  EXPECT_EQ(dlg.m_dwHostFlags, 13u);
  HeadlessDocumentComplete(dlg.m_hWnd, L"http://127.0.0.1/quotes");
  EXPECT_EQ(dlg.log, std::vector<std::wstring>{L"complete http://127.0.0.1/quotes"});
  EXPECT_EQ(dlg.m_strCurrentUrl, L"http://127.0.0.1/quotes");
}

}  // namespace
