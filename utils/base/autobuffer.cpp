#include "utils/base/autobuffer.h"

#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/text/debug.h"

namespace pcutil {

CAutoBuffer::CAutoBuffer(DWORD size) { Alloc(size); }

CAutoBuffer::CAutoBuffer(const CAutoBuffer &other) { *this = other; }

CAutoBuffer &CAutoBuffer::operator=(const CAutoBuffer &other) {
  if (this != &other && Alloc(static_cast<DWORD>(other.m_nSize))) std::memcpy(m_pData, other.m_pData, m_nSize);
  return *this;
}

CAutoBuffer::~CAutoBuffer() { Free(); }

bool CAutoBuffer::Alloc(DWORD size) {
  if (size == 0 || size > static_cast<DWORD>(INT_MAX)) {
    Free();
    return false;
  }
  if (static_cast<DWORD>(m_nSize) != size || !m_pData) {
    Free();
    m_pData = new (std::nothrow) BYTE[size];
    if (!m_pData) return false;
    m_nSize = static_cast<int>(size);
  }
  std::memset(m_pData, 0, m_nSize);
  return true;
}

void CAutoBuffer::Free() {
  delete[] m_pData;
  m_pData = nullptr;
  m_nSize = 0;
}

bool CAutoBuffer::SetData(const void *p, DWORD size) {
  if (!p) {
    Free();
    return false;
  }
  // p may point into this buffer: copy from it before the old block goes.
  CAutoBuffer fresh;
  if (!fresh.Alloc(size)) {
    Free();
    return false;
  }
  std::memcpy(fresh.m_pData, p, size);
  Swap(fresh);
  return true;
}

void CAutoBuffer::Append(const void *p, DWORD size) {
  ASSERT(p != nullptr && size != 0);
  if (!p || size == 0) return;
  unsigned long long total = static_cast<unsigned long long>(m_nSize) + size;
  ASSERT(total <= INT_MAX);
  if (total > INT_MAX) return;
  // The new block is filled while the old one (which p may point into) is
  // still alive.
  CAutoBuffer joined;
  if (!joined.Alloc(static_cast<DWORD>(total))) {
    Free();
    return;
  }
  if (m_nSize) std::memcpy(joined.m_pData, m_pData, m_nSize);
  std::memcpy(joined.m_pData + m_nSize, p, size);
  Swap(joined);
}

bool CAutoBuffer::Attach(BYTE *&p, DWORD size) {
  if (size > static_cast<DWORD>(INT_MAX)) return false;
  Free();
  m_pData = p;
  m_nSize = static_cast<int>(size);
  p = nullptr;
  return true;
}

std::string CAutoBuffer::ToString() const {
  if (!m_pData) return std::string();
  return std::string(reinterpret_cast<const char *>(m_pData), m_nSize);
}

BYTE &CAutoBuffer::operator[](int index) {
  if (!m_pData) throw std::out_of_range("empty pointer");
  if (index < 0 || index >= m_nSize) throw std::out_of_range("out of index");
  return m_pData[index];
}

const BYTE &CAutoBuffer::operator[](int index) const { return const_cast<CAutoBuffer &>(*this)[index]; }

void CAutoBuffer::Swap(CAutoBuffer &other) noexcept {
  std::swap(m_nSize, other.m_nSize);
  std::swap(m_pData, other.m_pData);
}

}  // namespace pcutil
