// Version value types: a four-part version number (parse, compare, pack into
// 32 bits, print), a two-part version for service packs, and an
// operating-system version record that names its platform family.
#pragma once

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

// major.minor[.build[.revision]]; a part of -1 is absent. A default version
// has all four parts absent and prints as an empty text.
class CVersion {
 public:
  CVersion() = default;
  CVersion(int nMajor, int nMinor);
  CVersion(int nMajor, int nMinor, int nBuild);
  CVersion(int nMajor, int nMinor, int nBuild, int nRevision);
  // As Parse on a default version.
  explicit CVersion(const CString &strVersion);

  // Reads two to four "."-separated numbers (empty pieces are dropped, so
  // "1..2" is 1.2; each piece is read as _wtol reads it). FALSE for an
  // empty text (version unchanged), for fewer than two or more than four
  // pieces and for a negative part (all parts absent afterwards).
  BOOL Parse(const CString &strVersion);

  // major in bits 28-31, minor 20-27, build 12-19, revision 0-11; each part
  // masked to its width (an absent part fills its bits with ones).
  DWORD Pack() const;
  // The present parts up to the first absent one; the build always shows
  // four digits (its last four): 1.2.5.7 prints as 1.2.0005.7.
  CString Format() const;
  // -1, 0 or 1, part by part as signed numbers (an absent part is smaller
  // than every present one).
  int Compare(const CVersion &other) const;

  int GetMajor() const { return m_nMajor; }
  int GetMinor() const { return m_nMinor; }
  int GetBuild() const { return m_nBuild; }
  int GetRevision() const { return m_nRevision; }

  bool operator==(const CVersion &other) const { return Compare(other) == 0; }
  bool operator!=(const CVersion &other) const { return Compare(other) != 0; }
  bool operator<(const CVersion &other) const { return Compare(other) < 0; }
  bool operator<=(const CVersion &other) const { return Compare(other) <= 0; }
  bool operator>(const CVersion &other) const { return Compare(other) > 0; }
  bool operator>=(const CVersion &other) const { return Compare(other) >= 0; }

 private:
  void SetAbsent();

  int m_nMajor = -1;
  int m_nMinor = -1;
  int m_nBuild = -1;
  int m_nRevision = -1;
};

// major.minor of a service pack; 0.0 by default.
class CShortVersion {
 public:
  CShortVersion() = default;
  CShortVersion(const int &nMajor, const int &nMinor) : m_nMajor(nMajor), m_nMinor(nMinor) {}

  // "%d" of the major and ".%d" of the minor, each only when not -1 (the
  // minor only after a present major).
  CString Format() const;

  int GetMajor() const { return m_nMajor; }
  int GetMinor() const { return m_nMinor; }

 private:
  int m_nMajor = 0;
  int m_nMinor = 0;
};

// The platform's version (major, minor, build, revision 0), its family and
// its service pack.
class COsVersion {
 public:
  // The platform families, numbered as the platform's own ids.
  enum {
    PLATFORM_WIN32S = 0,
    PLATFORM_WIN32_WINDOWS = 1,
    PLATFORM_WIN32_NT = 2,
    PLATFORM_WIN32_CE = 3,
    // A default record: no family reported.
    PLATFORM_NOT_SET = -1
  };

  COsVersion() = default;
  COsVersion(int nPlatform, const CVersion &version, const CShortVersion &servicePack)
      : m_version(version), m_nPlatform(nPlatform), m_servicePack(servicePack) {}

  const CVersion &GetVersion() const { return m_version; }
  int GetPlatform() const { return m_nPlatform; }
  const CShortVersion &GetServicePack() const { return m_servicePack; }

  // The family's name, a space and the version's Format:
  // "Microsoft Windows NT 5.1.2600.0"; "<unknown>" for a family outside 0-3.
  CString GetName() const;

 private:
  CVersion m_version;
  int m_nPlatform = PLATFORM_NOT_SET;
  CShortVersion m_servicePack;
};
