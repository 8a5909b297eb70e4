// pcutil::CAutoBuffer: an owned, zero-filled byte buffer (a size and heap
// bytes that the object frees). The size is 0 exactly when there are no
// bytes. Sizes that an int cannot hold are refused like a failed allocation.
#pragma once

#include <string>

#include "platform/text/windef.h"

namespace pcutil {

class CAutoBuffer {
 public:
  CAutoBuffer() = default;
  explicit CAutoBuffer(DWORD size);
  CAutoBuffer(const CAutoBuffer &other);
  CAutoBuffer &operator=(const CAutoBuffer &other);
  virtual ~CAutoBuffer();

  // `size` zeroed bytes; the old contents are never kept. Keeps the block
  // when the size is unchanged. Size 0 empties the buffer and returns false;
  // a failed allocation leaves it empty and returns false.
  bool Alloc(DWORD size);
  void Free();
  // Alloc(size) and copy `size` bytes from p. p NULL empties the buffer;
  // false for NULL, size 0 or a failed allocation.
  bool SetData(const void *p, DWORD size);
  // Appends `size` bytes from p (which may point into this buffer). NULL p
  // or size 0 changes nothing, as does a total size beyond the int range; a
  // failed allocation leaves the buffer empty. The first two and the
  // overflow are reported by a debug assertion.
  void Append(const void *p, DWORD size);
  // Frees the current bytes and takes ownership of p (from new[]) with
  // `size`; sets the caller's pointer to NULL. False, without taking p, for a
  // size an int cannot hold.
  bool Attach(BYTE *&p, DWORD size);
  // The bytes as a byte string, zero bytes included.
  std::string ToString() const;

  int GetSize() const { return m_nSize; }
  BYTE *GetData() const { return m_pData; }
  // Checked access: std::out_of_range "empty pointer" without bytes, "out of
  // index" for an index outside 0..size-1.
  BYTE &operator[](int index);
  const BYTE &operator[](int index) const;
  void Swap(CAutoBuffer &other) noexcept;

 private:
  int m_nSize = 0;
  BYTE *m_pData = nullptr;
};

}  // namespace pcutil
