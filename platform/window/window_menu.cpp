// Menus, popups and command-update routing.
#include <algorithm>
#include <mutex>
#include <set>

#include "platform/window/window_internal.h"

using namespace wl;

namespace {

std::set<HMENU> g_menus;

HMENU NewMenu(bool popup) {
  HMENU m = new HMENU__;
  m->popup = popup;
  g_menus.insert(m);
  return m;
}

HMENU BuildMenu(const std::vector<MENUITEM_DESC> &items, bool popup) {
  HMENU m = NewMenu(popup);
  for (const MENUITEM_DESC &d : items) {
    HMENU__::Item item;
    if (d.popup) {
      item.flags = MF_POPUP | d.flags;
      item.sub = BuildMenu(d.items, true);
      item.text = d.text ? d.text : L"";
    } else if (!d.text) {
      item.flags = MF_SEPARATOR;
    } else {
      item.flags = d.flags;
      item.id = d.id;
      item.text = d.text;
    }
    m->items.push_back(std::move(item));
  }
  return m;
}

// Position of the item: by position, or the first item with the command id
// (searching popups too). Gives the menu that holds it.
bool Locate(HMENU m, UINT pos, UINT flags, HMENU &holder, size_t &index) {
  if (!IsMenu(m)) return false;
  if (flags & MF_BYPOSITION) {
    if (pos >= m->items.size()) return false;
    holder = m, index = pos;
    return true;
  }
  for (size_t i = 0; i < m->items.size(); ++i) {
    const auto &it = m->items[i];
    if (!(it.flags & (MF_POPUP | MF_SEPARATOR)) && it.id == pos) {
      holder = m, index = i;
      return true;
    }
    if ((it.flags & MF_POPUP) && Locate(it.sub, pos, flags, holder, index)) return true;
  }
  return false;
}

HMENU__::Item MakeItem(UINT nFlags, UINT_PTR id, LPCTSTR text) {
  HMENU__::Item item;
  item.flags = nFlags & (MF_SEPARATOR | MF_POPUP | MF_CHECKED | MF_GRAYED | MF_DISABLED);
  if (nFlags & MF_POPUP)
    item.sub = (HMENU)id;
  else if (!(nFlags & MF_SEPARATOR))
    item.id = id;
  if (text && !(nFlags & MF_SEPARATOR)) item.text = text;
  return item;
}

}  // namespace

BOOL IsMenu(HMENU m) { return m && g_menus.count(m) != 0; }

BOOL DestroyMenu(HMENU m) {
  if (!IsMenu(m)) return FALSE;
  for (auto &it : m->items)
    if (it.flags & MF_POPUP) DestroyMenu(it.sub);
  g_menus.erase(m);
  if (m->wrapper) m->wrapper->m_hMenu = nullptr;
  delete m;
  return TRUE;
}

struct MenuAccess {
  static CMenu *Wrapper(HMENU m) {
    if (!m->wrapper) {
      m->wrapper = std::make_unique<CMenu>();
      m->wrapper->m_hMenu = m;
      m->wrapper->m_bTemporary = true;
    }
    return m->wrapper.get();
  }
};

CMenu::~CMenu() {
  if (!m_bTemporary && m_hMenu) DestroyMenu();
}

CMenu *CMenu::FromHandle(HMENU h) { return IsMenu(h) ? MenuAccess::Wrapper(h) : nullptr; }

BOOL CMenu::Attach(HMENU h) {
  if (m_hMenu || !IsMenu(h)) return FALSE;
  m_hMenu = h;
  return TRUE;
}

HMENU CMenu::Detach() {
  HMENU h = m_hMenu;
  m_hMenu = nullptr;
  return h;
}

BOOL CMenu::CreateMenu() { return Attach(NewMenu(false)); }
BOOL CMenu::CreatePopupMenu() { return Attach(NewMenu(true)); }

BOOL CMenu::LoadMenu(UINT id) {
  const std::vector<MENUITEM_DESC> *items = FindMenuResource(id);
  if (!items || m_hMenu) return FALSE;
  return Attach(BuildMenu(*items, false));
}

BOOL CMenu::LoadMenu(LPCTSTR name) { return IS_INTRESOURCE(name) && LoadMenu((UINT)(ULONG_PTR)name); }

BOOL CMenu::DestroyMenu() {
  HMENU h = Detach();
  return ::DestroyMenu(h);
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR id, LPCTSTR text) {
  if (!IsMenu(m_hMenu)) return FALSE;
  m_hMenu->items.push_back(MakeItem(nFlags, id, text));
  return TRUE;
}

BOOL CMenu::InsertMenu(UINT nPosition, UINT nFlags, UINT_PTR id, LPCTSTR text) {
  if (!IsMenu(m_hMenu)) return FALSE;
  HMENU holder = m_hMenu;
  size_t index = m_hMenu->items.size();
  if (!Locate(m_hMenu, nPosition, nFlags, holder, index) && !(nFlags & MF_BYPOSITION)) return FALSE;
  holder->items.insert(holder->items.begin() + (std::ptrdiff_t)std::min(index, holder->items.size()),
                       MakeItem(nFlags, id, text));
  return TRUE;
}

BOOL CMenu::RemoveMenu(UINT nPosition, UINT nFlags) {
  HMENU holder;
  size_t index;
  if (!Locate(m_hMenu, nPosition, nFlags, holder, index)) return FALSE;
  holder->items.erase(holder->items.begin() + (std::ptrdiff_t)index);
  return TRUE;
}

BOOL CMenu::DeleteMenu(UINT nPosition, UINT nFlags) {
  HMENU holder;
  size_t index;
  if (!Locate(m_hMenu, nPosition, nFlags, holder, index)) return FALSE;
  if (holder->items[index].flags & MF_POPUP) ::DestroyMenu(holder->items[index].sub);
  holder->items.erase(holder->items.begin() + (std::ptrdiff_t)index);
  return TRUE;
}

BOOL CMenu::ModifyMenu(UINT nPosition, UINT nFlags, UINT_PTR id, LPCTSTR text) {
  HMENU holder;
  size_t index;
  if (!Locate(m_hMenu, nPosition, nFlags, holder, index)) return FALSE;
  holder->items[index] = MakeItem(nFlags, id, text);
  return TRUE;
}

UINT CMenu::CheckMenuItem(UINT nID, UINT nCheck) {
  HMENU holder;
  size_t index;
  if (!Locate(m_hMenu, nID, nCheck, holder, index)) return (UINT)-1;
  UINT &flags = holder->items[index].flags;
  UINT previous = flags & MF_CHECKED;
  flags = (flags & ~MF_CHECKED) | (nCheck & MF_CHECKED);
  return previous;
}

UINT CMenu::EnableMenuItem(UINT nID, UINT nEnable) {
  HMENU holder;
  size_t index;
  if (!Locate(m_hMenu, nID, nEnable, holder, index)) return (UINT)-1;
  UINT &flags = holder->items[index].flags;
  UINT previous = flags & (MF_GRAYED | MF_DISABLED);
  flags = (flags & ~(MF_GRAYED | MF_DISABLED)) | (nEnable & (MF_GRAYED | MF_DISABLED));
  return previous;
}

UINT CMenu::GetMenuState(UINT nID, UINT nFlags) const {
  HMENU holder;
  size_t index;
  if (!Locate(m_hMenu, nID, nFlags, holder, index)) return (UINT)-1;
  const auto &it = holder->items[index];
  UINT state = it.flags & ~MF_POPUP;
  if (it.flags & MF_POPUP) state |= MF_POPUP | ((UINT)it.sub->items.size() << 8);
  return state;
}

int CMenu::GetMenuItemCount() const { return IsMenu(m_hMenu) ? (int)m_hMenu->items.size() : -1; }

UINT CMenu::GetMenuItemID(int nPos) const {
  if (!IsMenu(m_hMenu) || nPos < 0 || (size_t)nPos >= m_hMenu->items.size()) return (UINT)-1;
  const auto &it = m_hMenu->items[(size_t)nPos];
  if (it.flags & MF_POPUP) return (UINT)-1;
  if (it.flags & MF_SEPARATOR) return 0;
  return (UINT)it.id;
}

int CMenu::GetMenuString(UINT nIDItem, CString &rString, UINT nFlags) const {
  HMENU holder;
  size_t index;
  if (!Locate(m_hMenu, nIDItem, nFlags, holder, index)) {
    rString = L"";
    return 0;
  }
  rString = holder->items[index].text.c_str();
  return rString.GetLength();
}

CMenu *CMenu::GetSubMenu(int nPos) const {
  if (!IsMenu(m_hMenu) || nPos < 0 || (size_t)nPos >= m_hMenu->items.size()) return nullptr;
  const auto &it = m_hMenu->items[(size_t)nPos];
  return (it.flags & MF_POPUP) ? FromHandle(it.sub) : nullptr;
}

BOOL CMenu::SetDefaultItem(UINT uItem, BOOL fByPos) {
  if (!IsMenu(m_hMenu)) return FALSE;
  if (uItem == (UINT)-1) {
    m_hMenu->defaultItem = -1;
    return TRUE;
  }
  HMENU holder;
  size_t index;
  if (!Locate(m_hMenu, uItem, fByPos ? MF_BYPOSITION : MF_BYCOMMAND, holder, index) || holder != m_hMenu) return FALSE;
  m_hMenu->defaultItem = (int)index;
  return TRUE;
}

UINT CMenu::GetDefaultItem(UINT, BOOL fByPos) const {
  if (!IsMenu(m_hMenu) || m_hMenu->defaultItem < 0) return (UINT)-1;
  if (fByPos) return (UINT)m_hMenu->defaultItem;
  return (UINT)m_hMenu->items[(size_t)m_hMenu->defaultItem].id;
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd *pWnd, LPCRECT) {
  HWND owner = pWnd ? pWnd->m_hWnd : nullptr;
  if (!IsMenu(m_hMenu) || !IsLive(owner)) return FALSE;
  HMENU menu = m_hMenu;
  if (!(nFlags & TPM_NONOTIFY)) Send(owner, WM_INITMENUPOPUP, (WPARAM)menu, MAKELONG(0, menu->isSystemMenu ? 1 : 0));
  if (!IsMenu(menu)) return FALSE;
  UINT id = CurrentBackend()->TrackPopup(menu, x, y, owner);
  if (nFlags & TPM_RETURNCMD) return (BOOL)id;
  if (id && IsLive(owner)) ::PostMessageW(owner, menu->isSystemMenu ? WM_SYSCOMMAND : WM_COMMAND, id, 0);
  return id != 0;
}

// ------------------------------------------------------------ command update

void CCmdUI::Enable(BOOL bOn) {
  if (m_pMenu)
    m_pMenu->EnableMenuItem(m_nIndex, MF_BYPOSITION | (bOn ? MF_ENABLED : MF_GRAYED));
  else if (m_pOther)
    m_pOther->EnableWindow(bOn);
  m_bEnableChanged = TRUE;
}

void CCmdUI::SetCheck(int nCheck) {
  if (m_pMenu) m_pMenu->CheckMenuItem(m_nIndex, MF_BYPOSITION | (nCheck ? MF_CHECKED : MF_UNCHECKED));
}

void CCmdUI::SetText(LPCTSTR text) {
  if (!m_pMenu) {
    if (m_pOther) m_pOther->SetWindowText(text);
    return;
  }
  UINT state = m_pMenu->GetMenuState(m_nIndex, MF_BYPOSITION);
  m_pMenu->ModifyMenu(m_nIndex, MF_BYPOSITION | MF_STRING | (state & (MF_CHECKED | MF_GRAYED | MF_DISABLED)), m_nID,
                      text);
}

BOOL CCmdUI::DoUpdate(CCmdTarget *pTarget, BOOL bDisableIfNoHndler) {
  if (m_nID == 0 || !pTarget) return TRUE;
  m_bEnableChanged = FALSE;
  BOOL handled = pTarget->OnCmdMsg(m_nID, (int)CN_UPDATE_COMMAND_UI, this, nullptr);
  if (bDisableIfNoHndler && !m_bEnableChanged && !handled) Enable(FALSE);
  return handled;
}
