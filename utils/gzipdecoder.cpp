#include "utils/gzipdecoder.h"

#include <climits>
#include <cstring>
#include <initializer_list>
#include <new>

namespace pcutil {

namespace {

constexpr BYTE kMagic0 = 0x1F;
constexpr BYTE kMagic1 = 0x8B;
constexpr int kMethodDeflate = 8;
constexpr int kFlagHeaderCrc = 0x02;
constexpr int kFlagExtra = 0x04;
constexpr int kFlagName = 0x08;
constexpr int kFlagComment = 0x10;
constexpr int kFlagReserved = 0xE0;
constexpr int kBlockSize = 4096;

}  // namespace

CGzipDecoder::CGzipDecoder(const BYTE *source, int size, DWORD limit)
    : m_nLimit(limit), m_pSource(source), m_nSourceSize(size > 0 ? size : 0) {
  if (!source) return;  // no input: NULL output
  std::memset(m_inlineOutput, 0, sizeof m_inlineOutput);
  m_pOutput = m_inlineOutput;
  m_nOutputCapacity = kInlineCapacity;
  Decode();
}

CGzipDecoder::CGzipDecoder(const BYTE *source, int size, BYTE *output, DWORD capacity)
    : m_bExternal(true), m_nLimit(capacity), m_pSource(source), m_nSourceSize(size > 0 ? size : 0) {
  if (!source) return;
  m_pOutput = output;
  m_nOutputCapacity = capacity > static_cast<DWORD>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
  Decode();
}

CGzipDecoder::~CGzipDecoder() {
  if (m_pOutput && m_pOutput != m_inlineOutput && !m_bExternal) delete[] m_pOutput;
}

void CGzipDecoder::Decode() {
  if (m_nSourceSize == 0) {
    m_nError = Z_STREAM_END;  // nothing to decode is a clean end
    return;
  }
  if (m_nSourceSize < 2 || m_pSource[0] != kMagic0 || m_pSource[1] != kMagic1) {
    // A lone first magic byte is a truncated header, anything else plain data.
    if (m_nSourceSize == 1 && m_pSource[0] == kMagic0) {
      m_nError = Z_DATA_ERROR;
      return;
    }
    m_bTransparent = 1;
    if (AppendOutput(m_pSource, m_nSourceSize)) m_nError = Z_STREAM_END;
    m_nSourcePos = m_nSourceSize;
    return;
  }
  // inflateInit2 hands zlib the installed library's version and z_stream size.
  if (inflateInit2(&m_stream, -MAX_WBITS) != Z_OK) {
    m_nError = Z_MEM_ERROR;
    return;
  }
  m_bStreamReady = true;
  for (;;) {
    if (!CheckHeader()) {
      m_nError = Z_DATA_ERROR;
      break;
    }
    if (!InflateMember()) break;
    int left = m_nSourceSize - m_nSourcePos;
    if (left < 2 || m_pSource[m_nSourcePos] != kMagic0 || m_pSource[m_nSourcePos + 1] != kMagic1) {
      m_nError = Z_STREAM_END;  // end of input, or trailing bytes that start no member
      break;
    }
    inflateReset(&m_stream);
  }
  inflateEnd(&m_stream);
  m_bStreamReady = false;
}

int CGzipDecoder::GetByte() {
  if (m_nSourcePos >= m_nSourceSize) return -1;
  return m_pSource[m_nSourcePos++];
}

bool CGzipDecoder::GetLong(uLong &value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    int c = GetByte();
    if (c < 0) return false;
    value |= static_cast<uLong>(c) << (8 * i);
  }
  return true;
}

bool CGzipDecoder::CheckHeader() {
  if (GetByte() != kMagic0 || GetByte() != kMagic1) return false;
  int method = GetByte();
  int flags = GetByte();
  if (method != kMethodDeflate || flags < 0 || (flags & kFlagReserved)) return false;
  for (int i = 0; i < 6; ++i) {  // time, extra flags, OS
    if (GetByte() < 0) return false;
  }
  if (flags & kFlagExtra) {
    int lo = GetByte();
    int hi = GetByte();
    if (hi < 0) return false;
    for (int len = lo | (hi << 8); len > 0; --len) {
      if (GetByte() < 0) return false;
    }
  }
  for (int flag : {kFlagName, kFlagComment}) {
    if (!(flags & flag)) continue;
    int c;
    while ((c = GetByte()) > 0) {
    }
    if (c < 0) return false;
  }
  if (flags & kFlagHeaderCrc) {
    if (GetByte() < 0 || GetByte() < 0) return false;
  }
  return true;
}

bool CGzipDecoder::InflateMember() {
  m_nCrc = crc32(0L, Z_NULL, 0);
  m_nMemberSize = 0;
  BYTE block[kBlockSize];
  for (;;) {
    const BYTE *in = m_pSource + m_nSourcePos;
    m_stream.next_in = const_cast<Bytef *>(in);
    m_stream.avail_in = static_cast<uInt>(m_nSourceSize - m_nSourcePos);
    m_stream.next_out = block;
    m_stream.avail_out = kBlockSize;
    int rc = inflate(&m_stream, Z_NO_FLUSH);
    m_nSourcePos += static_cast<int>(m_stream.next_in - in);
    int produced = kBlockSize - static_cast<int>(m_stream.avail_out);
    if (produced > 0) {
      m_nCrc = crc32(m_nCrc, block, static_cast<uInt>(produced));
      m_nMemberSize += static_cast<uLong>(produced);
      if (!AppendOutput(block, produced)) return false;
    }
    if (rc == Z_STREAM_END) break;
    if (rc == Z_OK) continue;
    // Z_BUF_ERROR here means the input ended inside the member.
    m_nError = rc == Z_MEM_ERROR ? Z_MEM_ERROR : Z_DATA_ERROR;
    return false;
  }
  uLong crc = 0, length = 0;
  if (!GetLong(crc) || !GetLong(length) || crc != m_nCrc || length != (m_nMemberSize & 0xFFFFFFFFul)) {
    m_nError = Z_DATA_ERROR;
    return false;
  }
  return true;
}

bool CGzipDecoder::AppendOutput(const BYTE *data, int n) {
  long long wanted = static_cast<long long>(m_nOutputSize) + n;
  long long limit = m_nLimit == kNoLimit ? static_cast<long long>(INT_MAX) - 1 : static_cast<long long>(m_nLimit);
  if (wanted > limit) {
    // Keep what fits, then stop: nothing is written past the limit.
    n = static_cast<int>(limit - m_nOutputSize);
    wanted = limit;
    m_bOverLimit = true;
  }
  if (wanted > m_nOutputCapacity) {
    if (m_bExternal) {
      m_bOverLimit = true;
      n = m_nOutputCapacity - m_nOutputSize;
      wanted = m_nOutputCapacity;
    } else {
      // Whole 1024-byte steps as the first growth, doubling after that so a
      // large body is not copied over and over.
      long long cap = (wanted / kInlineCapacity + 1) * kInlineCapacity;
      if (cap < 2LL * m_nOutputCapacity) cap = 2LL * m_nOutputCapacity;
      if (cap > limit) cap = limit;
      BYTE *grown = new (std::nothrow) BYTE[static_cast<size_t>(cap) + 1];
      if (!grown) {
        m_nError = Z_MEM_ERROR;
        return false;
      }
      std::memset(grown, 0, static_cast<size_t>(cap) + 1);
      std::memcpy(grown, m_pOutput, static_cast<size_t>(m_nOutputSize));
      if (m_pOutput != m_inlineOutput) delete[] m_pOutput;
      m_pOutput = grown;
      m_nOutputCapacity = static_cast<int>(cap);
    }
  }
  if (n > 0) std::memcpy(m_pOutput + m_nOutputSize, data, static_cast<size_t>(n));
  m_nOutputSize = static_cast<int>(wanted);
  if (m_bOverLimit) {
    m_nError = Z_BUF_ERROR;
    return false;
  }
  return true;
}

}  // namespace pcutil
