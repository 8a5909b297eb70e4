// Dialogs built from templates, their controls, modal runs, the application
// object.
#include <algorithm>

#include "platform/system/module.h"
#include "platform/window/window_internal.h"

using namespace wl;

namespace {

std::vector<ModalLoop *> g_modalLoops;

CWnd *MakeControlObject(DLGITEM_CLASS kind) {
  switch (kind) {
    case DLGITEM_EDIT:
      return new CEdit;
    case DLGITEM_BUTTON:
      return new CButton;
    default:
      return new CStatic;
  }
}

// Centres the window over another, kept inside the work area.
void CenterOver(HWND h, HWND over) {
  const RECT o = ScreenRect(over), wa = CurrentBackend()->WorkArea();
  const int width = h->rect.right - h->rect.left, height = h->rect.bottom - h->rect.top;
  int x = o.left + (o.right - o.left - width) / 2, y = o.top + (o.bottom - o.top - height) / 2;
  x = std::max<int>(wa.left, std::min<int>(x, wa.right - width));
  y = std::max<int>(wa.top, std::min<int>(y, wa.bottom - height));
  h->wnd->SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

struct DialogAccess {
  static void End(CDialog *d, int result) {
    d->m_nModalResult = result;
    d->m_bEndLoop = true;
  }
};

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog() = default;
CDialog::CDialog(UINT nIDTemplate, CWnd *pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}
CDialog::~CDialog() = default;

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnTemplateCreated() {}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG *pMsg) {
  // Dialog keys: Enter is the OK command, Esc the Cancel command.
  if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE) && m_hWnd) {
    int id = pMsg->wParam == VK_RETURN ? IDOK : IDCANCEL;
    CWnd *button = GetDlgItem(id);
    if (button && !button->IsWindowEnabled()) return TRUE;
    SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED), (LPARAM)(button ? button->m_hWnd : nullptr));
    return TRUE;
  }
  return FALSE;
}

void CDialog::MapDialogRect(LPRECT r) const { MapDialogUnits(IsLive(m_hWnd) ? m_hWnd->fontPointSize : 9, r); }

BOOL CDialog::CreateFromTemplate(CWnd *pOwner, bool modal) {
  const DLGTEMPLATE_DESC *t = FindDialogTemplate(m_nIDTemplate);
  if (!t) return FALSE;
  if (IsLive(m_hWnd)) ::DestroyWindow(m_hWnd);
  m_bModal = modal;
  HWND h = NewWindowRecord();
  h->wnd = this;
  m_hWnd = h;
  h->isDialog = true;
  h->style = t->style & ~WS_VISIBLE;
  h->exStyle = t->exStyle;
  h->topmost = (t->exStyle & WS_EX_TOPMOST) != 0;
  h->text = t->caption ? t->caption : L"";
  h->fontPointSize = t->fontPointSize > 0 ? t->fontPointSize : 9;
  h->owner = pOwner ? TopLevelOf(pOwner->m_hWnd) : nullptr;
  if (!IsLive(h->owner)) h->owner = nullptr;
  if (modal) h->transientFor = TransientParent(h->owner, h);
  RECT r{0, 0, t->cx, t->cy};
  MapDialogUnits(h->fontPointSize, &r);
  if (t->style & DS_CENTER) {
    RECT wa = CurrentBackend()->WorkArea();
    OffsetRect(&r, wa.left + (wa.right - wa.left - r.right) / 2, wa.top + (wa.bottom - wa.top - r.bottom) / 2);
  }
  h->rect = r;
  CurrentBackend()->Created(h);
  for (const DLGITEM_DESC &item : t->items) {
    HWND c = NewWindowRecord();
    c->parent = h;
    c->isControl = true;
    c->ctrlKind = item.kind;
    c->ctrlId = item.id;
    c->style = (item.style | WS_CHILD) & ~WS_VISIBLE;
    c->enabled = !(item.style & WS_DISABLED);
    c->text = item.text ? item.text : L"";
    c->fontPointSize = h->fontPointSize;
    c->visible = true;  // template controls show with their dialog
    RECT cr{item.x, item.y, item.x + item.cx, item.y + item.cy};
    MapDialogUnits(h->fontPointSize, &cr);
    c->rect = cr;
    if (item.kind == DLGITEM_ICON && item.iconId)
      c->ctrlIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(item.iconId) : nullptr;
    c->ownedObject.reset(MakeControlObject(item.kind));
    c->ownedObject->m_hWnd = c;
    c->wnd = c->ownedObject.get();
    h->children.push_back(c);
    CurrentBackend()->Created(c);
  }
  OnTemplateCreated();
  const RECT placed = h->rect;
  Send(h, WM_INITDIALOG, 0, 0);
  // As the original framework does, a modal dialog that OnInitDialog left
  // where its template put it is centred over the window it stands above.
  if (IsLive(h) && IsLive(h->transientFor) && EqualRect(&placed, &h->rect)) CenterOver(h, h->transientFor);
  if (IsLive(h) && (t->style & WS_VISIBLE) && !(modal && m_bEndLoop)) ::ShowWindow(h, SW_SHOW);
  return IsLive(h);
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd *pParentWnd) {
  m_nIDTemplate = nIDTemplate;
  m_pParentWnd = pParentWnd;
  return CreateFromTemplate(pParentWnd, false);
}

INT_PTR CDialog::DoModal() {
  m_bEndLoop = false;
  m_nModalResult = -1;
  if (!FindDialogTemplate(m_nIDTemplate)) return -1;
  if (!CreateFromTemplate(m_pParentWnd, true)) {
    m_bModal = false;
    return m_bEndLoop ? m_nModalResult : -1;
  }
  HWND h = m_hWnd;
  if (!m_bEndLoop) {
    ModalLoop loop;
    loop.hwnd = h;
    loop.dialog = this;
    loop.ended = &m_bEndLoop;
    loop.showOnIdle = !h->visible;
    g_modalLoops.push_back(&loop);
    CurrentBackend()->RunModalLoop(loop);
    g_modalLoops.erase(std::remove(g_modalLoops.begin(), g_modalLoops.end(), &loop), g_modalLoops.end());
  }
  if (IsLive(h)) ::DestroyWindow(h);
  m_bModal = false;
  return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
  if (!m_bModal) {
    ShowWindow(SW_HIDE);
    return;
  }
  DialogAccess::End(this, nResult);
  if (IsLive(m_hWnd)) ShowWindow(SW_HIDE);
  CurrentBackend()->Wake();
}

namespace wl {
int ModalDepth() { return (int)g_modalLoops.size(); }
}  // namespace wl

// ------------------------------------------------------------ application

namespace {
CWinApp *g_app = nullptr;
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCTSTR lpszAppName) : m_pszAppName(lpszAppName) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }
int CWinApp::Run() { return CurrentBackend()->RunMessageLoop(); }

HICON CWinApp::LoadIcon(UINT nIDResource) const {
  std::wstring path = FindIconResourcePath(nIDResource);
  return path.empty() ? nullptr : IconFromFile(path);
}

HICON CWinApp::LoadIcon(LPCTSTR name) const {
  if (IS_INTRESOURCE(name)) return LoadIcon((UINT)(ULONG_PTR)name);
  return nullptr;
}

HICON CWinApp::LoadStandardIcon(LPCTSTR name) const { return ::LoadIconW(nullptr, name); }
HCURSOR CWinApp::LoadStandardCursor(LPCTSTR name) const { return ::LoadCursorW(nullptr, name); }
void CWinApp::SetRegistryKey(LPCTSTR key) { m_pszRegistryKey = key; }
void CWinApp::OnHelp() {}

CWinAppEx::CWinAppEx(BOOL) {}

CWinApp *AfxGetApp() { return g_app; }

LPCTSTR AfxGetAppName() {
  static std::wstring name;
  if (g_app && g_app->m_pszAppName) return g_app->m_pszAppName;
  if (!FindStringResource(AFX_IDS_APP_TITLE, name)) {
    wchar_t buf[4096];
    DWORD n = GetModuleFileNameW(nullptr, buf, 4096);
    std::wstring path(buf, n);
    size_t slash = path.rfind(L'/');
    name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  }
  return name.c_str();
}

CWnd *AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }
void AfxEnableControlContainer() {}
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX *p) { return p != nullptr; }
void PostQuitMessage(int nExitCode) { CurrentBackend()->QuitMessageLoop(nExitCode); }

int AfxWinMain(int, char **) {
  if (AfxGetBackend() == BACKEND_NONE && !AfxSetBackend(BACKEND_GTK)) {
    fprintf(stderr, "cannot open the X11 display\n");
    return 1;
  }
  CWinApp *app = AfxGetApp();
  if (!app) return 1;
  int code = 0;
  if (app->InitInstance()) code = app->Run();
  int exitCode = app->ExitInstance();
  return code ? code : exitCode;
}
