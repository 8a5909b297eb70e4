// The root object class with run-time class records: a class declared with
// DECLARE_DYNAMIC and defined with IMPLEMENT_DYNAMIC answers GetRuntimeClass()
// with a record naming it and linking to its base's record.
#pragma once

#include "platform/text/windef.h"

class CObject;
class CArchive;
class CDumpContext;

struct CRuntimeClass {
  const char *m_lpszClassName;
  int m_nObjectSize;
  const CRuntimeClass *m_pBaseClass;
  // True when this class is pClass or derives from it.
  BOOL IsDerivedFrom(const CRuntimeClass *pClass) const;
};

class CObject {
 public:
  virtual const CRuntimeClass *GetRuntimeClass() const;
  virtual ~CObject() = default;
  virtual void Serialize(CArchive &ar);
  virtual void AssertValid() const;
  virtual void Dump(CDumpContext &dc) const;
  BOOL IsKindOf(const CRuntimeClass *pClass) const;
  static const CRuntimeClass classCObject;

 protected:
  CObject() = default;
};

#define RUNTIME_CLASS(cls) (&cls::class##cls)
#define DECLARE_DYNAMIC(cls)             \
 public:                                 \
  static const CRuntimeClass class##cls; \
  const CRuntimeClass *GetRuntimeClass() const override;
#define IMPLEMENT_DYNAMIC(cls, base)                                                   \
  const CRuntimeClass cls::class##cls = {#cls, (int)sizeof(cls), RUNTIME_CLASS(base)}; \
  const CRuntimeClass *cls::GetRuntimeClass() const { return RUNTIME_CLASS(cls); }
