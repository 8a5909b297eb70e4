// The root object class and run-time class records.
#include "platform/window/object.h"

const CRuntimeClass CObject::classCObject = {"CObject", (int)sizeof(CObject), nullptr};

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass *pClass) const {
  for (const CRuntimeClass *c = this; c; c = c->m_pBaseClass)
    if (c == pClass) return TRUE;
  return FALSE;
}

const CRuntimeClass *CObject::GetRuntimeClass() const { return &classCObject; }
void CObject::Serialize(CArchive &) {}
void CObject::AssertValid() const {}
void CObject::Dump(CDumpContext &) const {}
BOOL CObject::IsKindOf(const CRuntimeClass *pClass) const { return GetRuntimeClass()->IsDerivedFrom(pClass); }
