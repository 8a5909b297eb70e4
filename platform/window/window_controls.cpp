// The template controls (static texts, edits, buttons) and how their parent
// asks them to look.
#include <algorithm>

#include "platform/window/window_internal.h"

namespace wl {

bool IsDigitsOnly(const std::wstring &s) {
  return std::all_of(s.begin(), s.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

ControlLook QueryControlLook(HWND c) {
  ControlLook look;
  if (!IsLive(c) || !c->parent) return look;
  UINT msg = c->ctrlKind == DLGITEM_EDIT     ? WM_CTLCOLOREDIT
             : c->ctrlKind == DLGITEM_BUTTON ? WM_CTLCOLORBTN
                                             : WM_CTLCOLORSTATIC;
  CDC dc;
  dc.Attach(new HDC__);
  dc.m_hDC->wnd = c;
  HBRUSH brush = (HBRUSH)Send(c->parent, msg, (WPARAM)dc.m_hDC, (LPARAM)c);
  look.textColor = dc.GetTextColor();
  look.transparentText = dc.GetBkMode() == TRANSPARENT;
  look.nullBrush = IsNullBrush(brush);
  if (Brush *b = BrushOf(brush); b && !b->null) {
    look.hasBrush = true;
    look.brushColor = b->color;
  }
  delete dc.Detach();
  return look;
}

}  // namespace wl

using namespace wl;

HICON CStatic::SetIcon(HICON hIcon) {
  HWND h = RecordOf(this);
  if (!h) return nullptr;
  HICON old = h->ctrlIcon;
  h->ctrlIcon = hIcon;
  CurrentBackend()->IconChanged(h);
  return old;
}

HICON CStatic::GetIcon() const {
  HWND h = RecordOf(this);
  return h ? h->ctrlIcon : nullptr;
}

void CEdit::SetSel(int, int, BOOL) {}
void CEdit::LimitText(int) {}

void CEdit::ReplaceSel(LPCTSTR lpszNewText, BOOL) {
  CString s;
  GetWindowText(s);
  s += lpszNewText ? lpszNewText : L"";
  SetWindowText(s);
}

void CButton::Click() {
  HWND h = RecordOf(this);
  if (h && h->parent && h->enabled) Send(h->parent, WM_COMMAND, MAKELONG(h->ctrlId, BN_CLICKED), (LPARAM)h);
}
