// Headless set-up for the floating window and the alarm panel: the program's
// resources from client/res, a hidden stand-in for the main window that owns the
// floating window, and helpers to set the quote record and reach the panel.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "client/quoteworker.h"
#include "client/resource.h"
#include "client/resources.h"
#include "client/setdlg.h"
#include "client/suspenddlg.h"
#include "platform/window/headless.h"
#include "platform/window/sound.h"

// Template of the stand-in main window: the main dialog's size, hidden.
constexpr UINT kTestMainTemplate = 900;

class SuspendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessReset();
    HeadlessClearSoundLog();
    SetResourceFolder(TICKORA_SOURCE_DIR L"/client/res");
    RegisterSuspendResources();
    RegisterDialogTemplate({kTestMainTemplate, 181, 288, WS_POPUP | WS_SYSMENU, 0, nullptr, 9, {}});
    SetRecord(L"", L"", L"", L"");

    ASSERT_TRUE(main_.Create(kTestMainTemplate, nullptr));
    float_ = std::make_unique<CSUSPENDDLG>();
    ASSERT_TRUE(float_->Create(IDD_SUSPEND_DIALOG, &main_));
    float_->PlaceAtBottomRight();
    float_->ShowWindow(SW_SHOW);
    HeadlessPumpMessages();
  }

  void TearDown() override {
    float_.reset();
    main_.DestroyWindow();
  }

  static void SetRecord(const wchar_t *priceA, const wchar_t *priceB, const wchar_t *total, const wchar_t *hashRate) {
    std::lock_guard<std::mutex> lock(GetQuoteLock());
    QuoteRecord &r = GetQuoteRecord();
    r.m_strPriceA = priceA;
    r.m_strPriceB = priceB;
    r.m_strTotal = total;
    r.m_strHashRate = hashRate;
  }

  HWND Float() const { return float_->m_hWnd; }
  HWND Panel() const { return float_->m_pSetDlg->m_hWnd; }
  HWND PanelEdit(int id) const { return float_->m_pSetDlg->GetDlgItem(id)->m_hWnd; }
  RECT Rect(HWND h) const { return HeadlessGetWindow(h).rect; }
  std::wstring Text(HWND h) const { return HeadlessGetWindow(h).text; }
  std::wstring Label(int id) const { return Text(float_->GetDlgItem(id)->m_hWnd); }

  // Moves the floating window so its top-left corner is at (x, y).
  void MoveFloat(int x, int y) { float_->SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }

  CDialog main_;
  std::unique_ptr<CSUSPENDDLG> float_;
};
