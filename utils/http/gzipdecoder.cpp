#include "utils/http/detail/gzipdecoder.h"

#include <algorithm>
#include <climits>
#include <cstring>
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
// A member header whose name and comment together run longer is refused.
constexpr int kMaxHeaderBytes = 256 * 1024;

}  // namespace

CGzipDecoder::CGzipDecoder(const BYTE *source, int size, DWORD limit) : m_nLimit(limit) {
  if (!source) return;  // no input: NULL output
  std::memset(m_inlineOutput, 0, sizeof m_inlineOutput);
  m_pOutput = m_inlineOutput;
  m_nOutputCapacity = kInlineCapacity;
  Take(source, size > 0 ? static_cast<size_t>(size) : 0, true);
}

CGzipDecoder::CGzipDecoder(const BYTE *source, int size, BYTE *output, DWORD capacity)
    : CGzipDecoder(output, capacity) {
  if (!source) {
    m_pOutput = nullptr;
    return;
  }
  Take(source, size > 0 ? static_cast<size_t>(size) : 0, true);
}

CGzipDecoder::CGzipDecoder(BYTE *output, DWORD capacity) : m_bExternal(true), m_nLimit(capacity) {
  m_pOutput = output;
  m_nOutputCapacity = capacity > static_cast<DWORD>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
}

CGzipDecoder::~CGzipDecoder() {
  if (m_bStreamReady) inflateEnd(&m_stream);
  if (m_pOutput && m_pOutput != m_inlineOutput && !m_bExternal) delete[] m_pOutput;
}

bool CGzipDecoder::Feed(const BYTE *data, size_t size) { return Take(data, size, false); }

bool CGzipDecoder::Finish() {
  Take(nullptr, 0, true);
  return IsComplete();
}

bool CGzipDecoder::Take(const BYTE *data, size_t size, bool last) {
  if (m_stage != Stage::Done) {
    if (size > static_cast<size_t>(INT_MAX) - m_pending.size()) {
      Fail(Z_MEM_ERROR);
    } else {
      // Bytes kept from the last piece come first; without them the piece is read where it is.
      const BYTE *source = data;
      if (!m_pending.empty()) {
        if (size) m_pending.append(reinterpret_cast<const char *>(data), size);
        source = reinterpret_cast<const BYTE *>(m_pending.data());
        size = m_pending.size();
      }
      m_pSource = source;
      m_nSourceSize = static_cast<int>(size);
      m_nSourcePos = 0;
      Run(last);
      if (m_stage == Stage::Done)
        m_pending.clear();
      else if (!m_pending.empty())
        m_pending.erase(0, static_cast<size_t>(m_nSourcePos));
      else
        m_pending.assign(reinterpret_cast<const char *>(source) + m_nSourcePos, size - m_nSourcePos);
      m_pSource = nullptr;
      m_nSourceSize = m_nSourcePos = 0;
    }
  }
  return (m_nError == Z_OK || m_nError == Z_STREAM_END) && !m_bOverLimit;
}

void CGzipDecoder::Run(bool last) {
  while (m_nError == Z_OK) {
    Step step = Step::Progress;
    switch (m_stage) {
      case Stage::Start:
        step = StartStep(last);
        break;
      case Stage::Header:
        step = CheckHeader();
        if (step == Step::Progress) {
          m_stage = Stage::Body;
          m_nCrc = crc32(0L, Z_NULL, 0);
          m_nMemberSize = 0;
        }
        break;
      case Stage::Body:
        step = InflateStep();
        break;
      case Stage::Trailer:
        step = TrailerStep();
        break;
      case Stage::AfterMember: {
        int left = m_nSourceSize - m_nSourcePos;
        if (left >= 2 && m_pSource[m_nSourcePos] == kMagic0 && m_pSource[m_nSourcePos + 1] == kMagic1) {
          inflateReset(&m_stream);
          m_stage = Stage::Header;
        } else if (left < 2 && !last) {
          step = Step::NeedMore;
        } else {
          m_stage = Stage::Done;  // end of input, or trailing bytes that start no member
          m_nError = Z_STREAM_END;
        }
        break;
      }
      case Stage::Transparent: {
        int left = m_nSourceSize - m_nSourcePos;
        if (!AppendOutput(m_pSource + m_nSourcePos, left)) {
          m_stage = Stage::Done;
          return;
        }
        m_nSourcePos = m_nSourceSize;
        if (!last) return;
        m_stage = Stage::Done;
        m_nError = Z_STREAM_END;
        break;
      }
      case Stage::Done:
        return;
    }
    if (step == Step::Failed) return;
    if (step == Step::NeedMore) {
      if (last) Fail(Z_DATA_ERROR);  // the input ended inside a header, member or trailer
      return;
    }
  }
}

CGzipDecoder::Step CGzipDecoder::StartStep(bool last) {
  int left = m_nSourceSize - m_nSourcePos;
  if (left < 2 && !last) return Step::NeedMore;
  if (left == 0) {
    m_stage = Stage::Done;  // nothing to decode is a clean end
    m_nError = Z_STREAM_END;
    return Step::Progress;
  }
  if (left >= 2 && m_pSource[m_nSourcePos] == kMagic0 && m_pSource[m_nSourcePos + 1] == kMagic1) {
    // inflateInit2 hands zlib the installed library's version and z_stream size.
    if (inflateInit2(&m_stream, -MAX_WBITS) != Z_OK) {
      Fail(Z_MEM_ERROR);
      return Step::Failed;
    }
    m_bStreamReady = true;
    m_stage = Stage::Header;
    return Step::Progress;
  }
  // A lone first magic byte is a truncated header, anything else plain data.
  if (left == 1 && m_pSource[m_nSourcePos] == kMagic0) {
    Fail(Z_DATA_ERROR);
    return Step::Failed;
  }
  m_bTransparent = 1;
  m_stage = Stage::Transparent;
  return Step::Progress;
}

void CGzipDecoder::Fail(int error) {
  m_nError = error;
  m_stage = Stage::Done;
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

CGzipDecoder::Step CGzipDecoder::CheckHeader() {
  // Parts of fixed size are read whole or not at all; the variable ones
  // (extra field, name, comment) are consumed as far as they have come, so
  // nothing is read twice when the header arrives in pieces.
  HeaderScan &h = m_header;
  auto bad = [&] {
    Fail(Z_DATA_ERROR);
    return Step::Failed;
  };
  auto available = [&] { return m_nSourceSize - m_nSourcePos; };
  for (;;) {
    switch (h.part) {
      case HeaderScan::Fixed: {  // magic, method, flags, time, extra flags, OS
        if (available() < 10) return Step::NeedMore;
        const BYTE *p = m_pSource + m_nSourcePos;
        if (p[0] != kMagic0 || p[1] != kMagic1 || p[2] != kMethodDeflate || (p[3] & kFlagReserved)) return bad();
        h.flags = p[3];
        m_nSourcePos += 10;
        h.part = HeaderScan::ExtraLength;
        break;
      }
      case HeaderScan::ExtraLength:
        if (h.flags & kFlagExtra) {
          if (available() < 2) return Step::NeedMore;
          h.left = m_pSource[m_nSourcePos] | (m_pSource[m_nSourcePos + 1] << 8);
          m_nSourcePos += 2;
        }
        h.part = HeaderScan::Extra;
        break;
      case HeaderScan::Extra: {
        int skip = std::min(h.left, available());
        m_nSourcePos += skip;
        h.left -= skip;
        if (h.left > 0) return Step::NeedMore;
        h.part = HeaderScan::Name;
        break;
      }
      case HeaderScan::Name:
      case HeaderScan::Comment: {
        if (h.flags & (h.part == HeaderScan::Name ? kFlagName : kFlagComment)) {
          // Nothing left to search (at Finish the source may be null).
          if (available() == 0) return Step::NeedMore;
          const BYTE *p = m_pSource + m_nSourcePos;
          const BYTE *end = static_cast<const BYTE *>(std::memchr(p, 0, static_cast<size_t>(available())));
          const int taken = end ? static_cast<int>(end - p) + 1 : available();
          m_nSourcePos += taken;
          h.text += taken;
          if (h.text > kMaxHeaderBytes) return bad();
          if (!end) return Step::NeedMore;
        }
        h.part = h.part == HeaderScan::Name ? HeaderScan::Comment : HeaderScan::Crc;
        break;
      }
      case HeaderScan::Crc:
        if (h.flags & kFlagHeaderCrc) {
          if (available() < 2) return Step::NeedMore;
          m_nSourcePos += 2;
        }
        h = HeaderScan();  // ready for the next member
        return Step::Progress;
    }
  }
}

CGzipDecoder::Step CGzipDecoder::InflateStep() {
  BYTE block[kBlockSize];
  for (;;) {
    // A caller's buffer takes the output straight; once it is full, a block
    // shows whether more would follow (and the output is over the limit).
    const bool direct = m_bExternal && m_nOutputSize < m_nOutputCapacity;
    BYTE *out = direct ? m_pOutput + m_nOutputSize : block;
    const int room = direct ? m_nOutputCapacity - m_nOutputSize : kBlockSize;
    const BYTE *in = m_pSource + m_nSourcePos;
    m_stream.next_in = const_cast<Bytef *>(in);
    m_stream.avail_in = static_cast<uInt>(m_nSourceSize - m_nSourcePos);
    m_stream.next_out = out;
    m_stream.avail_out = static_cast<uInt>(room);
    int rc = inflate(&m_stream, Z_NO_FLUSH);
    m_nSourcePos += static_cast<int>(m_stream.next_in - in);
    int produced = room - static_cast<int>(m_stream.avail_out);
    if (produced > 0) {
      m_nCrc = crc32(m_nCrc, out, static_cast<uInt>(produced));
      m_nMemberSize += static_cast<uLong>(produced);
      if (direct) {
        m_nOutputSize += produced;
      } else if (!AppendOutput(block, produced)) {
        m_stage = Stage::Done;
        return Step::Failed;
      }
    }
    if (rc == Z_STREAM_END) {
      m_stage = Stage::Trailer;
      return Step::Progress;
    }
    if (rc == Z_OK || rc == Z_BUF_ERROR) {
      // Output may still be waiting while the last call filled its room;
      // otherwise the input at hand is used up.
      if (m_stream.avail_out == 0) continue;
      if (m_nSourcePos == m_nSourceSize) return Step::NeedMore;
      continue;
    }
    Fail(rc == Z_MEM_ERROR ? Z_MEM_ERROR : Z_DATA_ERROR);
    return Step::Failed;
  }
}

CGzipDecoder::Step CGzipDecoder::TrailerStep() {
  const int start = m_nSourcePos;
  uLong crc = 0, length = 0;
  if (!GetLong(crc) || !GetLong(length)) {
    m_nSourcePos = start;
    return Step::NeedMore;
  }
  if (crc != m_nCrc || length != (m_nMemberSize & 0xFFFFFFFFul)) {
    Fail(Z_DATA_ERROR);
    return Step::Failed;
  }
  m_stage = Stage::AfterMember;
  return Step::Progress;
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
