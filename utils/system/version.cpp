#include "utils/system/version.h"

#include <vector>

#include "platform/text/debug.h"
#include "platform/text/numeric.h"
#include "utils/text/stringhelper.h"

CVersion::CVersion(int nMajor, int nMinor) : m_nMajor(nMajor), m_nMinor(nMinor) { ASSERT(nMajor >= 0 && nMinor >= 0); }

CVersion::CVersion(int nMajor, int nMinor, int nBuild) : m_nMajor(nMajor), m_nMinor(nMinor), m_nBuild(nBuild) {
  ASSERT(nMajor >= 0 && nMinor >= 0 && nBuild >= 0);
}

CVersion::CVersion(int nMajor, int nMinor, int nBuild, int nRevision)
    : m_nMajor(nMajor), m_nMinor(nMinor), m_nBuild(nBuild), m_nRevision(nRevision) {
  ASSERT(nMajor >= 0 && nMinor >= 0 && nBuild >= 0 && nRevision >= 0);
}

CVersion::CVersion(const CString &strVersion) { Parse(strVersion); }

void CVersion::SetAbsent() { m_nMajor = m_nMinor = m_nBuild = m_nRevision = -1; }

BOOL CVersion::Parse(const CString &strVersion) {
  if (strVersion.IsEmpty()) return FALSE;
  SetAbsent();
  std::vector<CString> pieces;
  if (!SplitString(strVersion, L".", pieces, FALSE)) return FALSE;
  if (pieces.size() < 2 || pieces.size() > 4) return FALSE;
  int *const parts[] = {&m_nMajor, &m_nMinor, &m_nBuild, &m_nRevision};
  for (size_t i = 0; i < pieces.size(); ++i) {
    const LONG value = _wtol(pieces[i]);
    if (value < 0) {
      SetAbsent();
      return FALSE;
    }
    *parts[i] = value;
  }
  return TRUE;
}

DWORD CVersion::Pack() const {
  const DWORD major = static_cast<DWORD>(m_nMajor), minor = static_cast<DWORD>(m_nMinor);
  const DWORD build = static_cast<DWORD>(m_nBuild), revision = static_cast<DWORD>(m_nRevision);
  return (major << 28) | ((minor << 20) & 0xFFFFFFFu) | ((build << 12) & 0xFFFFFu) | (revision & 0xFFFu);
}

CString CVersion::Format() const {
  CString text;
  if (m_nMajor == -1) return text;
  text.AppendFormat(L"%d", m_nMajor);
  if (m_nMinor == -1) return text;
  text.AppendFormat(L".%d", m_nMinor);
  if (m_nBuild == -1) return text;
  CString build;
  build.Format(L"0000%d", m_nBuild);
  text.AppendFormat(L".%s", build.Right(4).GetString());
  if (m_nRevision == -1) return text;
  text.AppendFormat(L".%d", m_nRevision);
  return text;
}

int CVersion::Compare(const CVersion &other) const {
  const int mine[] = {m_nMajor, m_nMinor, m_nBuild, m_nRevision};
  const int theirs[] = {other.m_nMajor, other.m_nMinor, other.m_nBuild, other.m_nRevision};
  for (int i = 0; i < 4; ++i) {
    if (mine[i] != theirs[i]) return mine[i] > theirs[i] ? 1 : -1;
  }
  return 0;
}

CString CShortVersion::Format() const {
  CString text;
  if (m_nMajor == -1) return text;
  text.Format(L"%d", m_nMajor);
  if (m_nMinor != -1) text.AppendFormat(L".%d", m_nMinor);
  return text;
}

CString COsVersion::GetName() const {
  CString name;
  switch (m_nPlatform) {
    case PLATFORM_WIN32_NT:
      name = L"Microsoft Windows NT";
      break;
    case PLATFORM_WIN32_WINDOWS: {
      const int major = m_version.GetMajor(), minor = m_version.GetMinor();
      name = (major > 4 || (major == 4 && minor > 0)) ? L"Microsoft Windows 98" : L"Microsoft Windows 95";
      break;
    }
    case PLATFORM_WIN32S:
      name = L"Microsoft Win32S";
      break;
    case PLATFORM_WIN32_CE:
      name = L"Microsoft Windows CE";
      break;
    default:
      name = L"<unknown>";
      break;
  }
  return name + L" " + m_version.Format();
}
