// A dialog whose client area is an embedded browser (WebKit2GTK in the GTK
// backend; an in-memory page of elements by id in the headless one).
//
// OnInitDialog loads the dialog's HTML resource. Navigate may be called from
// any thread: the navigation is carried out on the UI thread and the caller does
// not wait. SetElementText sets the text of the element with that id; an id the
// page lacks changes nothing. Clicks on elements reach the DHTML event map by
// the clicked element's id (or its nearest ancestor's with an id). Right-button
// presses go through PreTranslateMessage first, so a dialog can swallow them;
// the browser never shows its own context menu.
#pragma once

#include "platform/window/afxwin.h"

struct IDispatch;
typedef IDispatch *LPDISPATCH;

// The element an event came from.
class IHTMLElement {
 public:
  explicit IHTMLElement(const wchar_t *id) : id_(id ? id : L"") {}
  LPCWSTR GetId() const { return id_.c_str(); }

 private:
  std::wstring id_;
};

#define DISPID_HTMLELEMENTEVENTS_ONCLICK (-600)

#define DOCHOSTUIFLAG_DIALOG 0x00000001
#define DOCHOSTUIFLAG_DISABLE_HELP_MENU 0x00000002
#define DOCHOSTUIFLAG_NO3DBORDER 0x00000004
#define DOCHOSTUIFLAG_SCROLL_NO 0x00000008

class CDHtmlDialog;
typedef HRESULT (*DHEVTTHUNK)(CDHtmlDialog *dlg, IHTMLElement *element);

struct DHtmlEventMapEntry {
  long dispId;
  const wchar_t *szName;  // element id
  DHEVTTHUNK pfn;
};

class CDHtmlEventSink {
 public:
  virtual ~CDHtmlEventSink() = default;
  virtual const DHtmlEventMapEntry *GetDHtmlEventMap() = 0;
};

#define DECLARE_DHTML_EVENT_MAP() \
 protected:                       \
  const DHtmlEventMapEntry *GetDHtmlEventMap() override;

#define BEGIN_DHTML_EVENT_MAP(className)                    \
  const DHtmlEventMapEntry *className::GetDHtmlEventMap() { \
    using ThisClass [[maybe_unused]] = className;           \
    static const DHtmlEventMapEntry _dhtmlEntries[] = {
#define DHTML_EVENT_ONCLICK(elemName, memberFxn) \
  {DISPID_HTMLELEMENTEVENTS_ONCLICK, elemName,   \
   [](CDHtmlDialog *_d, IHTMLElement *_e) -> HRESULT { return static_cast<ThisClass *>(_d)->memberFxn(_e); }},
#define END_DHTML_EVENT_MAP() \
  { 0, nullptr, nullptr }     \
  }                           \
  ;                           \
  return _dhtmlEntries;       \
  }

class CDHtmlDialog : public CDialog, public CDHtmlEventSink {
 public:
  CDHtmlDialog();
  CDHtmlDialog(UINT nIDTemplate, UINT nHtmlResID = 0, CWnd *pParentWnd = nullptr);
  ~CDHtmlDialog() override;

  BOOL OnInitDialog() override;
  BOOL PreTranslateMessage(MSG *pMsg) override;
  // After the main document finished loading; szUrl is the page's address.
  virtual void OnDocumentComplete(LPDISPATCH pDisp, LPCTSTR szUrl);
  const DHtmlEventMapEntry *GetDHtmlEventMap() override;

  void Navigate(LPCTSTR lpszURL, DWORD dwFlags = 0, LPCTSTR lpszTargetFrameName = nullptr,
                LPCTSTR lpszHeaders = nullptr, LPVOID lpvPostData = nullptr, DWORD dwPostDataLen = 0);
  // Loads an HTML resource (a file registered with RegisterHtmlResource).
  BOOL LoadFromResource(UINT nRes);
  void SetElementText(LPCTSTR szElementId, BSTR bstrText);
  void SetHostFlags(DWORD dwFlags);

  DWORD m_dwHostFlags = 0;
  UINT m_nHtmlResID = 0;
  CString m_strCurrentUrl;

  // Called by the backends on the UI thread.
  void DispatchDocumentComplete(LPCTSTR szUrl);
  // Runs the event-map handler of the element for the event; S_FALSE when the
  // map has none.
  HRESULT DispatchElementEvent(long dispId, LPCTSTR szElementId);
  // A mouse message from inside the page; TRUE when PreTranslateMessage
  // swallowed it.
  BOOL FilterBrowserMouseMessage(UINT message, POINT screenPt);

 protected:
  void OnTemplateCreated() override;
  void OnDestroy();
  DECLARE_MESSAGE_MAP()
};
