#include "platform/text/codepage.h"

#include <iconv.h>
#include <sys/mman.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>  // SSSE3, SSE4.1 and AVX2, used behind a check of the processor at run time
#define TICKORA_UTF8_BLOCKS 1
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cwchar>

#include "platform/text/winerror.h"

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

UINT Resolve(UINT code_page) {
  if (code_page == CP_ACP || code_page == CP_OEMCP || code_page == CP_THREAD_ACP) return PLATFORM_ANSI_CODE_PAGE;
  return code_page;
}

bool Known(UINT cp) { return cp == 936 || cp == 950 || cp == 28591 || cp == CP_UTF8; }

const char *IconvName(UINT cp) { return cp == 950 ? "CP950" : "CP936"; }

// One iconv descriptor per thread and direction (descriptors keep shift
// state and are not safe to share between threads).
class IconvCache {
 public:
  ~IconvCache() {
    for (auto &row : cd_)
      for (iconv_t &cd : row)
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  // `to_wide` true: code page -> wchar_t.
  iconv_t Get(UINT cp, bool to_wide) {
    iconv_t &cd = cd_[cp == 950 ? 1 : 0][to_wide ? 1 : 0];
    if (cd == reinterpret_cast<iconv_t>(-1))
      cd = to_wide ? iconv_open("WCHAR_T", IconvName(cp)) : iconv_open(IconvName(cp), "WCHAR_T");
    else
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return cd;
  }

 private:
  iconv_t cd_[2][2] = {{reinterpret_cast<iconv_t>(-1), reinterpret_cast<iconv_t>(-1)},
                       {reinterpret_cast<iconv_t>(-1), reinterpret_cast<iconv_t>(-1)}};
};

thread_local IconvCache t_iconv;

// Length of the valid UTF-8 sequence at s[0..n), or the length of its
// maximal invalid subpart (at least 1) with `valid` false.
size_t Utf8Sequence(const unsigned char *s, size_t n, bool &valid, char32_t &cp) {
  unsigned char b = s[0];
  valid = false;
  if (b < 0x80) {
    valid = true;
    cp = b;
    return 1;
  }
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 1;
  }
  size_t i = 1;
  for (; i <= need; ++i) {
    if (i >= n) return i;
    unsigned char t = s[i];
    if (t < lo || t > hi) return i;
    lo = 0x80;
    hi = 0xBF;
    cp = (cp << 6) | (t & 0x3F);
  }
  valid = true;
  return i;
}

// Decodes the one character (or the maximal invalid subpart) at s[i] of
// the n bytes into out[k], moving both on; false, moving neither, for an
// invalid sequence in `strict` mode. Inline: the block decoders call it for
// every character of a block they leave to it.
[[gnu::always_inline]] inline bool DecodeOne(const unsigned char *s, size_t n, size_t &i, wchar_t *out, size_t &k,
                                             bool strict) {
  if (s[i] < 0x80) {
    out[k++] = s[i++];
    return true;
  }
  // Valid characters of two to four bytes without Utf8Sequence's loop:
  // the same tests (continuation bytes; three bytes above U+07FF and not
  // a surrogate; four from U+10000 to U+10FFFF).
  const unsigned lead = s[i];
  if (lead >= 0xE0 && lead <= 0xEF && i + 2 < n) {
    const unsigned c1 = s[i + 1], c2 = s[i + 2];
    const char32_t c = ((lead & 0x0Fu) << 12) | ((c1 & 0x3Fu) << 6) | (c2 & 0x3Fu);
    if ((c1 & 0xC0) == 0x80 && (c2 & 0xC0) == 0x80 && c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
      out[k++] = static_cast<wchar_t>(c);
      i += 3;
      return true;
    }
  } else if (lead >= 0xC2 && lead <= 0xDF && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
    out[k++] = static_cast<wchar_t>(((lead & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu));
    i += 2;
    return true;
  } else if (lead >= 0xF0 && lead <= 0xF4 && i + 3 < n) {
    const unsigned c1 = s[i + 1], c2 = s[i + 2], c3 = s[i + 3];
    const char32_t c = ((lead & 0x07u) << 18) | ((c1 & 0x3Fu) << 12) | ((c2 & 0x3Fu) << 6) | (c3 & 0x3Fu);
    if ((c1 & 0xC0) == 0x80 && (c2 & 0xC0) == 0x80 && (c3 & 0xC0) == 0x80 && c >= 0x10000 && c <= 0x10FFFF) {
      out[k++] = static_cast<wchar_t>(c);
      i += 4;
      return true;
    }
  }
  bool valid;
  char32_t cp = 0;
  const size_t len = Utf8Sequence(s + i, n - i, valid, cp);
  if (!valid && strict) return false;
  out[k++] = valid ? static_cast<wchar_t>(cp) : kReplacement;
  i += len;
  return true;
}

// A large output is touched once from end to end: huge pages (where the
// system gives them on request) save most of the page faults.
void AskForHugePages(const void *data, size_t bytes) {
  constexpr uintptr_t kHuge = 2u << 20;
  if (bytes < 2 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

#ifdef TICKORA_UTF8_BLOCKS
// Decoding sixteen bytes at a time. Where the bytes hold characters beyond
// ASCII, the first four characters (each of one to three bytes, so within
// the first twelve bytes and the thirteenth that starts the next) are
// gathered into four 32-bit lanes by one byte shuffle: the last byte of a
// character in the lowest byte of its lane, the one before it next, the
// first of three above them, zeros elsewhere. Which shuffle depends only on
// which of bytes 1 to 12 start a character (are not 10xxxxxx); the table
// holds one for each of those 4096 patterns, and the bytes the four
// characters take (0 where one of them would be longer than three bytes).
struct Utf8Shuffles {
  alignas(16) unsigned char shuffle[4096][16];
  unsigned char consumed[4096];
  Utf8Shuffles() {
    for (unsigned m = 0; m < 4096; ++m) {
      const unsigned starts = (m << 1) | 1u;  // bit j: byte j starts a character (byte 0 always)
      unsigned pos = 0;
      bool fits = true;
      for (unsigned c = 0; c < 4 && fits; ++c) {
        // Its length: up to the next byte that starts one.
        unsigned len = 0;
        for (unsigned l = 1; l <= 3 && pos + l <= 12 && !len; ++l)
          if (starts >> (pos + l) & 1) len = l;
        if (len == 0) {
          fits = false;
          break;
        }
        unsigned char *lane = shuffle[m] + 4 * c;
        lane[0] = static_cast<unsigned char>(pos + len - 1);
        lane[1] = len >= 2 ? static_cast<unsigned char>(pos + len - 2) : 0x80;
        lane[2] = len == 3 ? static_cast<unsigned char>(pos) : 0x80;
        lane[3] = 0x80;
        pos += len;
      }
      consumed[m] = fits ? static_cast<unsigned char>(pos) : 0;
    }
  }
};

// Four characters gathered into 32-bit lanes (Utf8Shuffles) made code
// points and checked.
// The gathering of four characters of three bytes (bytes 0 to 11), the
// shuffle of Utf8Shuffles for characters starting at bytes 3, 6, 9 and 12.
inline __m128i FourThreesIntoLanes() { return _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1); }
// The code points of gathered lanes: seven bits of the last byte (a trail
// byte's six), six of the byte before, four of a three-byte lead (& 0x1F
// keeps them, as & 0x3F keeps the five of a two-byte lead: the bit above
// is 0).
__attribute__((target("ssse3"))) inline __m128i LaneCodePoints(__m128i x) {
  auto lanes = [](int v) { return _mm_set1_epi32(v); };
  return _mm_or_si128(_mm_and_si128(x, lanes(0x7F)),
                      _mm_or_si128(_mm_srli_epi32(_mm_and_si128(x, lanes(0x3F00)), 2),
                                   _mm_srli_epi32(_mm_and_si128(x, lanes(0x1F0000)), 4)));
}
// Lanes that are not a valid character of three bytes: a lead other than
// 1110xxxx, a value below U+0800 or a surrogate.
__attribute__((target("ssse3"))) inline __m128i BadThrees(__m128i x, __m128i cp) {
  auto lanes = [](int v) { return _mm_set1_epi32(v); };
  return _mm_or_si128(_mm_xor_si128(_mm_cmpeq_epi32(_mm_and_si128(x, lanes(0xF00000)), lanes(0xE00000)), lanes(-1)),
                      _mm_or_si128(_mm_cmplt_epi32(cp, lanes(0x800)),
                                   _mm_cmpeq_epi32(_mm_and_si128(cp, lanes(0xF800)), lanes(0xD800))));
}
// Lanes that are not a valid character of the length they hold (which
// shows in the lane: a byte above the lowest is never 0 in a character of
// that many bytes), as Utf8Sequence would judge them.
__attribute__((target("ssse3"))) inline __m128i BadLanes(__m128i x, __m128i cp) {
  auto lanes = [](int v) { return _mm_set1_epi32(v); };
  const __m128i three = _mm_cmpgt_epi32(x, lanes(0xFFFF));
  const __m128i several = _mm_cmpgt_epi32(x, lanes(0xFF));
  const __m128i two = _mm_andnot_si128(three, several);
  const __m128i badOne = _mm_andnot_si128(several, _mm_cmpgt_epi32(x, lanes(0x7F)));
  const __m128i badTwo = _mm_and_si128(
      two, _mm_or_si128(_mm_xor_si128(_mm_cmpeq_epi32(_mm_and_si128(x, lanes(0xE000)), lanes(0xC000)), lanes(-1)),
                        _mm_cmplt_epi32(cp, lanes(0x80))));
  return _mm_or_si128(badOne, _mm_or_si128(badTwo, _mm_and_si128(three, BadThrees(x, cp))));
}

// Decodes from s[i] while 32 bytes are left to read and sixteen characters
// of room to write, stopping before anything the block forms do not take
// (a character of four bytes, an invalid sequence): the caller goes on one
// character at a time from there. Every character it takes is checked as
// Utf8Sequence checks it. Where characters start is found for 32 bytes at
// once, so the step from one group of characters to the next waits only
// for a table look-up, not for the bytes of the group.
__attribute__((target("ssse3"))) void DecodeUtf8Blocks(const unsigned char *s, size_t n, wchar_t *out, size_t room,
                                                       size_t &i, size_t &k) {
  static const Utf8Shuffles table;
  constexpr uint32_t kFourOfThree = 0x924;  // characters start at bytes 3, 6, 9 and 12
  const __m128i top2 = _mm_set1_epi8(static_cast<char>(0xC0)), trail = _mm_set1_epi8(static_cast<char>(0x80));
  auto load = [s](size_t at) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at)); };
  const __m128i fourOfThree = FourThreesIntoLanes();
  auto trails = [&](__m128i v) {
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, top2), trail)));
  };
  while (i + 32 <= n && k + 16 <= room) {
    const __m128i a = load(i), b = load(i + 16);
    const uint32_t high = static_cast<uint32_t>(_mm_movemask_epi8(a)) | static_cast<uint32_t>(_mm_movemask_epi8(b))
                                                                            << 16;
    auto widen = [](__m128i v, wchar_t *to) { utf8_detail::WidenSixteen(v, to); };
    if (high == 0 && k + 32 <= room) {  // 32 bytes of ASCII, the common case of markup
      widen(a, out + k);
      widen(b, out + k + 16);
      k += 32;
      i += 32;
      continue;
    }
    const uint32_t starts = ~(trails(a) | trails(b) << 16);
    size_t pos = 0;
    while (pos <= 16 && k + 16 <= room) {
      if (!(starts >> pos & 1)) {  // a stray trail byte
        i += pos;
        return;
      }
      const uint32_t ahead = high >> pos;
      if (!(ahead & 0xF)) {
        // A run of ASCII: sixteen bytes widened, those up to the first
        // byte beyond ASCII kept (the rest is written over).
        widen(load(i + pos), out + k);
        const size_t ascii = ahead & 0xFFFF ? static_cast<size_t>(__builtin_ctz(ahead)) : 16;
        k += ascii;
        pos += ascii;
        continue;
      }
      const uint32_t pattern = (starts >> (pos + 1)) & 0xFFF;
      if (pattern == kFourOfThree) {
        // Four characters of three bytes, most of a Chinese text: the
        // shuffle is known without the table, so the next group's position
        // waits on no load. Each lead is 1110xxxx, each value above U+07FF
        // and not a surrogate.
        const __m128i x = _mm_shuffle_epi8(load(i + pos), fourOfThree);
        const __m128i cp = LaneCodePoints(x);
        if (_mm_movemask_epi8(BadThrees(x, cp))) break;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k), cp);
        k += 4;
        pos += 12;
        continue;
      }
      const size_t taken = table.consumed[pattern];
      if (taken == 0) break;
      const __m128i x =
          _mm_shuffle_epi8(load(i + pos), _mm_load_si128(reinterpret_cast<const __m128i *>(table.shuffle[pattern])));
      if (_mm_movemask_epi8(BadLanes(x, LaneCodePoints(x)))) break;
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k), LaneCodePoints(x));
      k += 4;
      pos += taken;
    }
    i += pos;
    if (pos <= 16 && k + 16 <= room) return;  // stopped before what the blocks do not take
  }
}

bool HasBlockDecoder() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

// Pieces of a text that lie in a larger buffer, decoded whole sixteen bytes
// at a time. Blocks lie at a fixed stride from the piece's start, so no
// block waits for where the characters of the last one ended. For every
// byte of a block, the code point of a character of one to three bytes
// starting there is made from it and the two bytes after it, as the low
// and high byte of a 16-bit lane; the lanes where characters start are then
// packed together, eight lanes by one shuffle (Utf8Packs), and widened; a
// block with characters of four bytes takes a path of its own that reads a
// fourth byte and makes a third (TakeBlockWithFours). A character that
// starts near a block's end takes its trail bytes from the next block,
// which skips them (`carry`). A block holding anything else (an invalid
// sequence, a character that n cuts off) goes one character at a time, and
// the blocks start again after it. Reads the 19 bytes from a block's
// start, so up to 18 from n on, and writes up to 16 characters beyond
// those it decodes.
struct Utf8Packs {
  alignas(16) unsigned char shuffle[256][16];  // by which of eight lanes to keep
  Utf8Packs() {
    for (unsigned m = 0; m < 256; ++m) {
      std::memset(shuffle[m], 0x80, 16);
      for (unsigned lane = 0, kept = 0; lane < 8; ++lane) {
        if (!(m >> lane & 1)) continue;
        shuffle[m][2 * kept] = static_cast<unsigned char>(2 * lane);
        shuffle[m][2 * kept + 1] = static_cast<unsigned char>(2 * lane + 1);
        ++kept;
      }
    }
  }
};

#define TICKORA_PIECES __attribute__((target("sse4.1,popcnt")))

bool HasPieceDecoder() {
  static const bool has = __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("popcnt");
  return has;
}

const Utf8Packs kPacks;

// The lanes of `keep` (of eight 16-bit code points) written at out[k] as
// characters; k moves on by as many.
TICKORA_PIECES inline void PutLanes(__m128i lanes, unsigned keep, wchar_t *out, size_t &k) {
  const __m128i packed =
      _mm_shuffle_epi8(lanes, _mm_load_si128(reinterpret_cast<const __m128i *>(kPacks.shuffle[keep])));
  __m128i *to = reinterpret_cast<__m128i *>(out + k);
  _mm_storeu_si128(to, _mm_cvtepu16_epi32(packed));
  _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(packed, _mm_setzero_si128()));
  k += static_cast<size_t>(__builtin_popcount(keep));
}

// Characters of three bytes that `left` bytes hold, for the lengths that
// are a whole number of them up to five; 0 for the others.
constexpr unsigned char kThrees[16] = {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0, 5};

// The last `left` (below sixteen) bytes of a piece, loaded in `v`, when
// they are up to five characters of three bytes (short Chinese names and
// texts): gathered into 32-bit lanes by two fixed shuffles, without the
// per-byte planes, and written at `out`. Returns the characters, or 0 for
// bytes of any other form.
TICKORA_PIECES inline size_t DecodeThreesTail(__m128i v, size_t left, wchar_t *out) {
  const size_t count = kThrees[left];
  if (!count) return 0;
  const uint32_t inside = (1u << left) - 1;
  const uint32_t trails =
      static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(0xC0))))) & inside;
  if (trails != (inside & ~0x1249u)) return 0;
  const __m128i x = _mm_shuffle_epi8(v, FourThreesIntoLanes());
  const __m128i y = _mm_shuffle_epi8(v, _mm_setr_epi8(14, 13, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
  const __m128i cx = LaneCodePoints(x), cy = LaneCodePoints(y);
  const uint32_t bad = static_cast<uint32_t>(_mm_movemask_epi8(BadThrees(x, cx))) |
                       static_cast<uint32_t>(_mm_movemask_epi8(BadThrees(y, cy))) << 16;
  if (bad & ((1ull << (4 * count)) - 1)) return 0;
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out), cx);
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4), cy);
  return count;
}

// As PutLanes, with the bits above sixteen of each code point (`tops`,
// eight 16-bit lanes) joined in.
TICKORA_PIECES inline void PutWideLanes(__m128i lanes, __m128i tops, unsigned keep, wchar_t *out, size_t &k) {
  const __m128i shuffle = _mm_load_si128(reinterpret_cast<const __m128i *>(kPacks.shuffle[keep]));
  const __m128i packed = _mm_shuffle_epi8(lanes, shuffle), packedTops = _mm_shuffle_epi8(tops, shuffle);
  __m128i *to = reinterpret_cast<__m128i *>(out + k);
  _mm_storeu_si128(to, _mm_unpacklo_epi16(packed, packedTops));
  _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(packed, packedTops));
  k += static_cast<size_t>(__builtin_popcount(keep));
}

// A block of DecodeUtf8PaddedBlocks that holds characters of four bytes
// (emoji, the rarer Chinese characters): checked and decoded as the other
// blocks are, with a fourth byte read for each character and a third byte
// for its code point. False, with nothing written or moved on, when the
// block holds anything else the blocks do not take. Reads the 19 bytes
// from the block's start.
TICKORA_PIECES inline bool TakeBlockWithFours(const unsigned char *s, size_t i, size_t left, uint32_t &carry,
                                              wchar_t *out, size_t &k) {
  auto bytes = [](int c) { return _mm_set1_epi8(static_cast<char>(c)); };
  auto at = [s](size_t i) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i)); };
  auto bits = [](__m128i v) { return static_cast<uint32_t>(_mm_movemask_epi8(v)); };
  const uint32_t inside = left >= 16 ? 0xFFFFu : (1u << left) - 1;
  const __m128i v0 = at(i), v1 = at(i + 1), v2 = at(i + 2), v3 = at(i + 3);
  const uint32_t high = bits(v0) & inside;
  const __m128i trail = _mm_cmplt_epi8(v0, bytes(0xC0)), belowThree = _mm_cmplt_epi8(v0, bytes(0xE0));
  const __m128i belowFour = _mm_cmplt_epi8(v0, bytes(0xF0));
  const uint32_t trails = bits(trail);
  const uint32_t trailsOn = trails | (bits(_mm_cmplt_epi8(v2, bytes(0xC0))) >> 14 << 16) |
                            (bits(_mm_cmplt_epi8(v3, bytes(0xC0))) >> 15 << 18);  // bytes 0 to 18
  const uint32_t longLeads = high & ~bits(belowThree), fourLeads = high & ~bits(belowFour);
  const uint32_t expected = carry | (high & ~trails) << 1 | longLeads << 2 | fourLeads << 3;
  const uint32_t readable = left >= 19 ? 0x7FFFFu : (1u << left) - 1;
  // As in the other blocks, and for four bytes: F0 before a byte below 90
  // (overlong), F4 before one from 90 on (beyond U+10FFFF), leads above F4.
  const __m128i overlongTwo = _mm_andnot_si128(trail, _mm_cmplt_epi8(v0, bytes(0xC2)));
  const __m128i below90 = _mm_cmplt_epi8(v1, bytes(0x90));
  const __m128i badSecond =
      _mm_or_si128(_mm_blendv_epi8(_mm_cmpeq_epi8(v0, bytes(0xED)), _mm_cmpeq_epi8(v0, bytes(0xE0)),
                                   _mm_cmplt_epi8(v1, bytes(0xA0))),
                   _mm_blendv_epi8(_mm_cmpeq_epi8(v0, bytes(0xF4)), _mm_cmpeq_epi8(v0, bytes(0xF0)), below90));
  const __m128i beyondF4 = _mm_cmpgt_epi8(v0, bytes(0xF4));  // ASCII too, which `high` leaves out
  const uint32_t wrong = ((trailsOn ^ expected) & inside) | (expected & ~(trailsOn & readable)) |
                         (bits(_mm_or_si128(_mm_or_si128(overlongTwo, badSecond), beyondF4)) & high);
  if (wrong) return false;
  carry = expected >> 16;
  // Each lead's last two bytes give the low byte, the two before them the
  // high byte; a lead of four bytes and the byte after it the bits above.
  const __m128i pair = _mm_andnot_si128(trail, belowThree);  // leads of two bytes
  const __m128i four = _mm_andnot_si128(belowFour, v0);      // sign bit: leads of four bytes
  const __m128i before = _mm_blendv_epi8(_mm_blendv_epi8(v1, v0, pair), v2, four);
  const __m128i last = _mm_blendv_epi8(_mm_blendv_epi8(v2, v1, pair), v3, four);
  const __m128i low = _mm_blendv_epi8(
      v0, _mm_or_si128(_mm_and_si128(_mm_slli_epi16(before, 6), bytes(0xC0)), _mm_and_si128(last, bytes(0x3F))), v0);
  const __m128i first = _mm_blendv_epi8(v0, v1, four), second = _mm_blendv_epi8(v1, v2, four);
  const __m128i highOfThree = _mm_or_si128(_mm_andnot_si128(bytes(0x0F), _mm_slli_epi16(first, 4)),
                                           _mm_and_si128(_mm_srli_epi16(second, 2), bytes(0x0F)));
  const __m128i highOfTwo = _mm_and_si128(_mm_srli_epi16(v0, 2), bytes(0x07));
  const __m128i hi = _mm_blendv_epi8(_mm_setzero_si128(), _mm_blendv_epi8(highOfThree, highOfTwo, pair), v0);
  const __m128i top = _mm_blendv_epi8(_mm_setzero_si128(),
                                      _mm_or_si128(_mm_slli_epi16(_mm_and_si128(v0, bytes(0x07)), 2),
                                                   _mm_and_si128(_mm_srli_epi16(v1, 4), bytes(0x03))),
                                      four);
  const uint32_t starts = ~trails & inside;
  const __m128i zero = _mm_setzero_si128();
  PutWideLanes(_mm_unpacklo_epi8(low, hi), _mm_unpacklo_epi8(top, zero), starts & 0xFF, out, k);
  PutWideLanes(_mm_unpackhi_epi8(low, hi), _mm_unpackhi_epi8(top, zero), starts >> 8, out, k);
  return true;
}

// Decodes s[i, n) into out[k...] (i at a character's start); returns k.
TICKORA_PIECES size_t DecodeUtf8PaddedBlocks(const unsigned char *s, size_t n, wchar_t *out, size_t i = 0,
                                             size_t k = 0) {
  auto bytes = [](int c) { return _mm_set1_epi8(static_cast<char>(c)); };
  auto at = [s](size_t i) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i)); };
  auto bits = [](__m128i v) { return static_cast<uint32_t>(_mm_movemask_epi8(v)); };
  uint32_t carry = 0;  // bytes 0 to 2 of this block that end a character of the last one
  while (i < n) {
    const size_t left = n - i;
    const uint32_t inside = left >= 16 ? 0xFFFFu : (1u << left) - 1;
    const __m128i v0 = at(i);
    const uint32_t high = bits(v0) & inside;
    if (!high) {  // ASCII, to n or for the whole block
      utf8_detail::WidenSixteen(v0, out + k);
      k += left < 16 ? left : 16;
      i += 16;
      continue;
    }
    // The last block of a piece of up to five characters of three bytes.
    if (left < 16 && !carry)
      if (const size_t count = DecodeThreesTail(v0, left, out + k)) return k + count;
    const __m128i v1 = at(i + 1), v2 = at(i + 2);
    // As DecodeUtf8PaddedWide: signed comparisons below a constant, blends
    // by the sign bit.
    const __m128i trail = _mm_cmplt_epi8(v0, bytes(0xC0)), belowThree = _mm_cmplt_epi8(v0, bytes(0xE0));
    const uint32_t trails = bits(trail);
    const uint32_t trailsOn = trails | (bits(_mm_cmplt_epi8(v2, bytes(0xC0))) >> 14 << 16);  // bytes 0 to 17
    const uint32_t longLeads = high & ~bits(belowThree);
    const uint32_t expected = carry | (high & ~trails) << 1 | longLeads << 2;  // trail bytes the leads ask for
    const uint32_t readable = left >= 18 ? 0x3FFFFu : (1u << left) - 1;
    // Overlong forms (C0, C1; E0 before a byte below A0), surrogates (ED
    // before one from A0 on) and leads of four bytes.
    const __m128i overlongTwo = _mm_andnot_si128(trail, _mm_cmplt_epi8(v0, bytes(0xC2)));
    const __m128i badSecond = _mm_blendv_epi8(_mm_cmpeq_epi8(v0, bytes(0xED)), _mm_cmpeq_epi8(v0, bytes(0xE0)),
                                              _mm_cmplt_epi8(v1, bytes(0xA0)));
    const uint32_t four = ~bits(_mm_cmplt_epi8(v0, bytes(0xF0)));
    const uint32_t wrong = ((trailsOn ^ expected) & inside) | (expected & ~(trailsOn & readable)) |
                           ((bits(_mm_or_si128(overlongTwo, badSecond)) | four) & high);
    if (wrong) {
      if ((four & high) && TakeBlockWithFours(s, i, left, carry, out, k)) {
        i += 16;
        continue;
      }
      // This block a character at a time, from its first character's start.
      size_t from = i + static_cast<size_t>(__builtin_popcount(carry));
      const size_t to = left < 16 ? n : i + 16;
      while (from < to) DecodeOne(s, n, from, out, k, false);
      i = from;
      carry = 0;
      continue;
    }
    carry = expected >> 16;
    // The code point of a character starting at each byte: low byte from
    // the last two bytes of the character, high byte from its first two.
    const __m128i pair = _mm_andnot_si128(trail, belowThree);  // leads of two bytes
    const __m128i before = _mm_blendv_epi8(v1, v0, pair), last = _mm_blendv_epi8(v2, v1, pair);
    const __m128i low = _mm_blendv_epi8(
        v0, _mm_or_si128(_mm_and_si128(_mm_slli_epi16(before, 6), bytes(0xC0)), _mm_and_si128(last, bytes(0x3F))), v0);
    const __m128i highOfThree = _mm_or_si128(_mm_andnot_si128(bytes(0x0F), _mm_slli_epi16(v0, 4)),
                                             _mm_and_si128(_mm_srli_epi16(v1, 2), bytes(0x0F)));
    const __m128i highOfTwo = _mm_and_si128(_mm_srli_epi16(v0, 2), bytes(0x07));
    const __m128i hi = _mm_blendv_epi8(_mm_setzero_si128(), _mm_blendv_epi8(highOfThree, highOfTwo, pair), v0);
    const uint32_t starts = ~trails & inside;
    PutLanes(_mm_unpacklo_epi8(low, hi), starts & 0xFF, out, k);
    PutLanes(_mm_unpackhi_epi8(low, hi), starts >> 8, out, k);
    i += 16;
  }
  return k;
}

// A piece of up to sixteen bytes: most that are not ASCII (which
// DecodeUtf8Padded widens itself) are a few characters of three bytes.
TICKORA_PIECES size_t DecodeShortPiece(const unsigned char *s, size_t n, wchar_t *out) {
  if (n < 16)
    if (const size_t count = DecodeThreesTail(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s)), n, out))
      return count;
  return DecodeUtf8PaddedBlocks(s, n, out);
}

// The same for 32 bytes at a time where the processor has AVX2 (reading
// the 34 bytes from a block's start, so up to 33 from n on). From a block
// holding anything the blocks do not take, the sixteen-byte blocks go on
// from its first character.
#define TICKORA_WIDE_PIECES __attribute__((target("avx2,popcnt")))

bool HasWidePieceDecoder() {
  static const bool has = HasPieceDecoder() && __builtin_cpu_supports("avx2");
  return has;
}

// The wide decoder's constants, constant-initialised (so ready before any
// decode): bytes for the blocks, 32-bit lanes for runs of three-byte
// characters (TakeThrees).
struct WideBytes {
  alignas(32) unsigned char c0[32], e0[32], f0[32], a0[32], c2[32], ed[32], low6[32], low4[32], low3[32];
  alignas(32) unsigned char gather[32];  // FourThreesIntoLanes in both halves
  alignas(32) uint32_t form[8], threeForm[8], last[8], middle[8], lead[8], u800[8], f800[8], d800[8];
  constexpr WideBytes()
      : c0(),
        e0(),
        f0(),
        a0(),
        c2(),
        ed(),
        low6(),
        low4(),
        low3(),
        gather(),
        form(),
        threeForm(),
        last(),
        middle(),
        lead(),
        u800(),
        f800(),
        d800() {
    for (int i = 0; i < 32; ++i) {
      c0[i] = 0xC0, e0[i] = 0xE0, f0[i] = 0xF0, a0[i] = 0xA0, c2[i] = 0xC2, ed[i] = 0xED;
      low6[i] = 0x3F, low4[i] = 0x0F, low3[i] = 0x07;
      const int lane = i % 16 / 4, byte = i % 4;  // lane j takes bytes 3j+2, 3j+1, 3j (low to high), then 0
      gather[i] = byte == 3 ? 0x80 : static_cast<unsigned char>(3 * lane + 2 - byte);
    }
    for (int i = 0; i < 8; ++i) {
      form[i] = 0xF0C0C0, threeForm[i] = 0xE08080;  // 1110xxxx 10xxxxxx 10xxxxxx
      last[i] = 0x3F, middle[i] = 0x3F00, lead[i] = 0x0F0000;
      u800[i] = 0x800, f800[i] = 0xF800, d800[i] = 0xD800;
    }
  }
};
constexpr WideBytes kWideBytes;
TICKORA_WIDE_PIECES inline __m256i Splat32(const unsigned char (&v)[32]) {
  return _mm256_load_si256(reinterpret_cast<const __m256i *>(v));
}
TICKORA_WIDE_PIECES inline __m256i Load32(const unsigned char *p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}
TICKORA_WIDE_PIECES inline uint32_t Bits32(__m256i v) { return static_cast<uint32_t>(_mm256_movemask_epi8(v)); }
TICKORA_WIDE_PIECES inline __m128i Pack(unsigned keep) {
  return _mm_load_si128(reinterpret_cast<const __m128i *>(kPacks.shuffle[keep]));
}
// Eight 16-bit code points, already packed, written at out[k] as characters.
TICKORA_WIDE_PIECES inline void PutPacked(__m128i packed, unsigned keep, wchar_t *out, size_t &k) {
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + k), _mm256_cvtepu16_epi32(packed));
  k += static_cast<size_t>(__builtin_popcount(keep));
}

TICKORA_WIDE_PIECES inline __m256i Lanes32(const uint32_t (&v)[8]) {
  return _mm256_load_si256(reinterpret_cast<const __m256i *>(v));
}

// A run of characters of three bytes from s[i] (a character's start), as
// most Chinese text is: eight characters (24 bytes) at a time, gathered
// into 32-bit lanes by one fixed shuffle, without the per-byte planes and
// packing of the blocks: LaneCodePoints and BadThrees over 32 bytes, with
// the trail bytes' form checked in the lane too (DecodeThreesTail checks
// it apart). Stops at the first lane that is not a valid character of
// three bytes (by its form, below U+0800 or a surrogate),
// with the run before it taken, or at n; a lane that n cuts is never
// taken. i and k move on past what was taken. Reads the 28 bytes from each
// s[i] and writes eight characters at each out[k].
TICKORA_WIDE_PIECES inline void TakeThrees(const WideBytes *b, const unsigned char *s, size_t n, size_t &i,
                                           wchar_t *out, size_t &k) {
  const __m256i gather = Load32(b->gather), form = Lanes32(b->form), threeForm = Lanes32(b->threeForm);
  for (;;) {
    const __m256i v =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i))),
                                _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i + 12)), 1);
    const __m256i x = _mm256_shuffle_epi8(v, gather);  // each lane: last byte, middle, lead, 0
    const __m256i cp = _mm256_or_si256(_mm256_and_si256(x, Lanes32(b->last)),
                                       _mm256_or_si256(_mm256_srli_epi32(_mm256_and_si256(x, Lanes32(b->middle)), 2),
                                                       _mm256_srli_epi32(_mm256_and_si256(x, Lanes32(b->lead)), 4)));
    const __m256i good = _mm256_andnot_si256(
        _mm256_or_si256(_mm256_cmpgt_epi32(Lanes32(b->u800), cp),
                        _mm256_cmpeq_epi32(_mm256_and_si256(cp, Lanes32(b->f800)), Lanes32(b->d800))),
        _mm256_cmpeq_epi32(_mm256_and_si256(x, form), threeForm));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + k), cp);
    const unsigned bad = ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(good))) & 0xFFu;
    if (bad || n - i <= 24) {
      // The last lanes: those before the first bad one and within n.
      const size_t whole = (n - i) / 3;
      const size_t taken = std::min(static_cast<size_t>(__builtin_ctz(bad | 0x100u)), whole);
      i += 3 * taken;
      k += taken;
      return;
    }
    // Whole runs move on by constants, so the next loads need not wait
    // for this run's checks.
    i += 24;
    k += 8;
  }
}

// Every comparison is written as "below a constant", which the compiler
// keeps as one instruction (it turns "above" into two), and blends select
// by the sign bit of a byte, so the bytes themselves tell ASCII apart.
TICKORA_WIDE_PIECES size_t DecodeUtf8PaddedWide(const unsigned char *s, size_t n, wchar_t *out) {
  // The constants come from memory the compiler cannot see into, so the
  // loop uses them from registers or as operands instead of making them at
  // every call.
  const WideBytes *b = &kWideBytes;
  asm("" : "+r"(b));  // values unknown to the compiler: read where used, never made
  const __m256i c0 = Splat32(b->c0), e0 = Splat32(b->e0), f0 = Splat32(b->f0), a0 = Splat32(b->a0), c2 = Splat32(b->c2),
                ed = Splat32(b->ed), low6 = Splat32(b->low6), low4 = Splat32(b->low4), low3 = Splat32(b->low3);
  size_t i = 0, k = 0;
  uint64_t carry = 0;
  // A piece that starts and ends with a character of three bytes, in a
  // whole number of three bytes, is mostly Chinese text throughout: it
  // takes the run path first, and the blocks go on from where a run stops.
  // Pieces that mix in ASCII are mostly left to the blocks, which take them
  // without a branch per character kind.
  if ((s[0] & 0xF0) == 0xE0 && n % 3 == 0 && (s[n - 3] & 0xF0) == 0xE0) TakeThrees(b, s, n, i, out, k);
  for (; i < n; i += 32) {
    const size_t left = n - i;
    const uint32_t inside = left >= 32 ? ~0u : (1u << left) - 1;
    const __m256i v0 = Load32(s + i);
    const uint32_t high = Bits32(v0) & inside;
    if (!high) {
      // Characters written beyond n stay within the sixteen of slack.
      const __m128i lo = _mm256_castsi256_si128(v0), up = _mm256_extracti128_si256(v0, 1);
      __m256i *to = reinterpret_cast<__m256i *>(out + k);
      _mm256_storeu_si256(to, _mm256_cvtepu8_epi32(lo));
      _mm256_storeu_si256(to + 1, _mm256_cvtepu8_epi32(_mm_srli_si128(lo, 8)));
      if (left > 16) {
        _mm256_storeu_si256(to + 2, _mm256_cvtepu8_epi32(up));
        _mm256_storeu_si256(to + 3, _mm256_cvtepu8_epi32(_mm_srli_si128(up, 8)));
      }
      k += left < 32 ? left : 32;
      continue;
    }
    const __m256i v1 = Load32(s + i + 1), v2 = Load32(s + i + 2);
    // Signed: trail bytes lie below 0xC0, leads of two bytes from there to
    // 0xDF, of three to 0xEF; ASCII is above them all.
    const __m256i trail = _mm256_cmpgt_epi8(c0, v0), belowThree = _mm256_cmpgt_epi8(e0, v0);
    const uint32_t trails = Bits32(trail);
    const uint64_t trailsOn = trails | static_cast<uint64_t>(Bits32(_mm256_cmpgt_epi8(c0, v2)) >> 30) << 32;
    const uint32_t longLeads = high & ~Bits32(belowThree);
    const uint64_t expected =
        carry | static_cast<uint64_t>(high & ~trails) << 1 | static_cast<uint64_t>(longLeads) << 2;
    // Overlong forms (C0, C1; E0 before a byte below A0), surrogates (ED
    // before one from A0 on) and leads of four bytes.
    const __m256i overlongTwo = _mm256_andnot_si256(trail, _mm256_cmpgt_epi8(c2, v0));
    const __m256i badSecond =
        _mm256_blendv_epi8(_mm256_cmpeq_epi8(v0, ed), _mm256_cmpeq_epi8(v0, e0), _mm256_cmpgt_epi8(a0, v1));
    const uint32_t four = ~Bits32(_mm256_cmpgt_epi8(f0, v0));
    const uint64_t readable = left >= 34 ? 0x3FFFFFFFFull : (1ull << left) - 1;
    const uint64_t wrong = ((trailsOn ^ expected) & inside) | (expected & ~(trailsOn & readable)) |
                           ((Bits32(_mm256_or_si256(overlongTwo, badSecond)) | four) & high);
    if (wrong) break;
    carry = expected >> 32;
    const __m256i pair = _mm256_andnot_si256(trail, belowThree);  // leads of two bytes
    const __m256i before = _mm256_blendv_epi8(v1, v0, pair), last = _mm256_blendv_epi8(v2, v1, pair);
    const __m256i low = _mm256_blendv_epi8(
        v0, _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(before, 6), c0), _mm256_and_si256(last, low6)), v0);
    const __m256i highOfThree = _mm256_or_si256(_mm256_andnot_si256(low4, _mm256_slli_epi16(v0, 4)),
                                                _mm256_and_si256(_mm256_srli_epi16(v1, 2), low4));
    const __m256i highOfTwo = _mm256_and_si256(_mm256_srli_epi16(v0, 2), low3);
    const __m256i hi = _mm256_blendv_epi8(_mm256_setzero_si256(), _mm256_blendv_epi8(highOfThree, highOfTwo, pair), v0);
    // Bytes 0-7 and 16-23 in one register, 8-15 and 24-31 in the other.
    const uint32_t starts = ~trails & inside;
    const unsigned k0 = starts & 0xFF, k1 = starts >> 8 & 0xFF, k2 = starts >> 16 & 0xFF, k3 = starts >> 24;
    const __m256i a = _mm256_shuffle_epi8(_mm256_unpacklo_epi8(low, hi),
                                          _mm256_inserti128_si256(_mm256_castsi128_si256(Pack(k0)), Pack(k2), 1));
    const __m256i b = _mm256_shuffle_epi8(_mm256_unpackhi_epi8(low, hi),
                                          _mm256_inserti128_si256(_mm256_castsi128_si256(Pack(k1)), Pack(k3), 1));
    PutPacked(_mm256_castsi256_si128(a), k0, out, k);
    PutPacked(_mm256_castsi256_si128(b), k1, out, k);
    PutPacked(_mm256_extracti128_si256(a, 1), k2, out, k);
    PutPacked(_mm256_extracti128_si256(b, 1), k3, out, k);
  }
  if (i >= n) return k;
  return DecodeUtf8PaddedBlocks(s, n, out, i + static_cast<size_t>(__builtin_popcount(static_cast<uint32_t>(carry))),
                                k);
}

// The same for 64 bytes at a time where the processor has AVX-512 with its
// byte and word instructions (BW, VBMI2): the compares give masks, and the
// code points of the characters' first bytes are packed together by one
// compress per 32 bytes instead of a table. Loads and stores are masked at
// the piece's end, so this reads nothing beyond the piece and writes no
// character beyond those it returns.
#define TICKORA_AVX512_PIECES __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi2,popcnt")))
// g++ 12 takes the self-initialised "undefined" vectors inside its AVX-512
// conversions and extractions for uninitialised ones.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

bool HasAvx512PieceDecoder() {
  static const bool has = HasWidePieceDecoder() && __builtin_cpu_supports("avx512f") &&
                          __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
                          __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2");
  return has;
}

TICKORA_AVX512_PIECES inline __m512i Bytes64(int c) { return _mm512_set1_epi8(static_cast<char>(c)); }
// The first `count` of 64 bits set (all 64 from 64 on; bzhi reads only the
// index's low byte).
TICKORA_AVX512_PIECES inline uint64_t Bits64(size_t count) {
  return _bzhi_u64(~0ull, static_cast<unsigned>(count < 64 ? count : 64));
}
// Up to 32 16-bit code points written at out[k] as characters; k moves on.
TICKORA_AVX512_PIECES inline void PutCompressed(__m512i points, uint32_t keep, wchar_t *out, size_t &k) {
  const size_t count = static_cast<size_t>(__builtin_popcount(keep));
  const __m512i packed = _mm512_maskz_compress_epi16(keep, points);
  _mm512_mask_storeu_epi32(out + k, static_cast<__mmask16>(Bits64(count)),
                           _mm512_cvtepu16_epi32(_mm512_castsi512_si256(packed)));
  if (count > 16)
    _mm512_mask_storeu_epi32(out + k + 16, static_cast<__mmask16>(Bits64(count - 16)),
                             _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(packed, 1)));
  k += count;
}

// Quarter `q` of 64 bytes of ASCII written as characters, the first
// `count` of them (more than sixteen: all sixteen).
template <int q>
TICKORA_AVX512_PIECES inline void PutAscii(__m512i v, size_t count, wchar_t *out) {
  _mm512_mask_storeu_epi32(out, static_cast<__mmask16>(Bits64(count)),
                           _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(v, q)));
}
// The 16-bit code points of half `h` of 64 bytes, from their low and high
// bytes.
template <int h>
TICKORA_AVX512_PIECES inline __m512i CodePoints16(__m512i low, __m512i hi) {
  return _mm512_or_si512(_mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(low, h)),
                         _mm512_slli_epi16(_mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(hi, h)), 8));
}

TICKORA_AVX512_PIECES size_t DecodeUtf8PaddedAvx512(const unsigned char *s, size_t n, wchar_t *out) {
  size_t i = 0, k = 0;
  uint64_t carry = 0;  // bytes 0 and 1 of this block that end a character of the last one
  for (; i < n; i += 64) {
    const size_t left = n - i;
    const uint64_t inside = Bits64(left);
    const __m512i v0 = _mm512_maskz_loadu_epi8(inside, s + i);
    const uint64_t high = _mm512_movepi8_mask(v0);
    if (!high) {
      // ASCII to n or for the whole block.
      const size_t count = left < 64 ? left : 64;
      PutAscii<0>(v0, count, out + k);
      if (count > 16) PutAscii<1>(v0, count - 16, out + k + 16);
      if (count > 32) PutAscii<2>(v0, count - 32, out + k + 32);
      if (count > 48) PutAscii<3>(v0, count - 48, out + k + 48);
      k += count;
      continue;
    }
    const __m512i v1 = _mm512_maskz_loadu_epi8(Bits64(left - 1), s + i + 1);
    const __m512i v2 = _mm512_maskz_loadu_epi8(Bits64(left > 2 ? left - 2 : 0), s + i + 2);
    // Signed compares: trail bytes are below 0xC0, leads of two or more
    // bytes above 0xBF, of three or more above 0xDF, of four above 0xEF.
    const uint64_t trails = _mm512_cmplt_epi8_mask(v0, Bytes64(0xC0));
    const uint64_t two = _mm512_cmpgt_epi8_mask(v0, Bytes64(0xBF)) & high;
    const uint64_t three = _mm512_cmpgt_epi8_mask(v0, Bytes64(0xDF)) & high;
    // Trail bytes the leads ask for: bits 0 to 63 in this block, 64 and 65
    // in the next (bytes 62 and 63 of v2).
    const uint64_t expected = carry | two << 1 | three << 2;
    const uint64_t next = two >> 63 | three >> 62;
    const uint64_t trailsNext = _mm512_cmplt_epi8_mask(v2, Bytes64(0xC0)) >> 62;
    // Overlong forms (C0, C1; E0 before a byte below A0), surrogates (ED
    // before one above 9F) and leads of four bytes or more.
    const uint64_t invalid = _mm512_cmpeq_epi8_mask(_mm512_and_si512(v0, Bytes64(0xFE)), Bytes64(0xC0)) |
                             (_mm512_cmpeq_epi8_mask(v0, Bytes64(0xE0)) & _mm512_cmplt_epu8_mask(v1, Bytes64(0xA0))) |
                             (_mm512_cmpeq_epi8_mask(v0, Bytes64(0xED)) & _mm512_cmpgt_epu8_mask(v1, Bytes64(0x9F))) |
                             _mm512_cmpgt_epi8_mask(v0, Bytes64(0xEF));
    if (((trails ^ expected) | (invalid & high)) | (next & ~trailsNext)) {
      // A block the blocks do not take (or a character that n cuts off,
      // whose trail bytes loaded as 0): from its first character on, one
      // character at a time where needed.
      return DecodeUtf8PaddedBlocks(s, n, out, i + static_cast<size_t>(__builtin_popcountll(carry)), k);
    }
    carry = next;
    // The code point of a character starting at each byte, as
    // DecodeUtf8PaddedWide makes it.
    const uint64_t pair = two & ~three;
    const __m512i before = _mm512_mask_blend_epi8(pair, v1, v0), last = _mm512_mask_blend_epi8(pair, v2, v1);
    const __m512i low =
        _mm512_mask_blend_epi8(high, v0,
                               _mm512_or_si512(_mm512_and_si512(_mm512_slli_epi16(before, 6), Bytes64(0xC0)),
                                               _mm512_and_si512(last, Bytes64(0x3F))));
    const __m512i highOfThree = _mm512_or_si512(_mm512_and_si512(_mm512_slli_epi16(v0, 4), Bytes64(0xF0)),
                                                _mm512_and_si512(_mm512_srli_epi16(v1, 2), Bytes64(0x0F)));
    const __m512i highOfTwo = _mm512_and_si512(_mm512_srli_epi16(v0, 2), Bytes64(0x07));
    const __m512i hi = _mm512_maskz_mov_epi8(high, _mm512_mask_blend_epi8(pair, highOfThree, highOfTwo));
    const uint64_t starts = ~trails & inside;
    PutCompressed(CodePoints16<0>(low, hi), static_cast<uint32_t>(starts), out, k);
    PutCompressed(CodePoints16<1>(low, hi), static_cast<uint32_t>(starts >> 32), out, k);
  }
  return k;
}
#pragma GCC diagnostic pop
#endif

// Decodes from `s` (`n` bytes left of the input) into `out` until `room`
// characters are written or the input ends; returns the bytes consumed and
// sets `written`; the room beyond `written` may be written over. Sixteen
// bytes at a time where the processor can (DecodeUtf8Blocks), one
// character at a time elsewhere: near the ends, and for what the blocks do
// not take. Stops only between characters, so pieces join to the decode
// of the whole. In `strict` mode an invalid sequence stops the decode with
// `invalid` set.
size_t DecodeUtf8Into(const unsigned char *s, size_t n, wchar_t *out, size_t room, bool strict, bool &invalid,
                      size_t &written) {
  size_t k = 0, i = 0;
  invalid = false;
#ifdef TICKORA_UTF8_BLOCKS
  const bool blocks = HasBlockDecoder();
#endif
  while (i < n && k < room) {
#ifdef TICKORA_UTF8_BLOCKS
    if (blocks) {
      DecodeUtf8Blocks(s, n, out, room, i, k);
      if (i >= n || k >= room) break;
    }
#endif
    if (!DecodeOne(s, n, i, out, k, strict)) {
      invalid = true;
      break;
    }
  }
  written = k;
  return i;
}

// Decodes through a small buffer that is appended when full.
bool DecodeUtf8(const char *src, size_t n, bool strict, std::wstring &out) {
  const unsigned char *s = reinterpret_cast<const unsigned char *>(src);
  // No character takes less than a byte, so n is enough room; text that is
  // mostly not ASCII gives the unused room back at the end.
  const size_t start = out.size();
  out.reserve(start + n);
  AskForHugePages(out.data(), out.capacity() * sizeof(wchar_t));
  constexpr size_t kChunk = 1024;
  wchar_t chunk[kChunk + kUtf8PaddedWrite];
  size_t i = 0;
  if (!strict) {
    // Pieces of up to kChunk bytes that end where a character starts (or
    // at a stray trail byte: no character takes it in), each followed by
    // as much of the input as the piece decoders read beyond a piece, and
    // each decoded as the whole decodes there.
    while (n - i > kChunk + kUtf8PaddedRead) {
      size_t end = i + kChunk;
      for (size_t back = 0; back < 3 && (s[end] & 0xC0) == 0x80; ++back) --end;
      if ((s[end] & 0xC0) == 0x80) end = i + kChunk;
      out.append(chunk, DecodeUtf8Padded(src + i, end - i, chunk));
      i = end;
    }
  }
  while (i < n) {
    bool invalid;
    size_t k;
    i += DecodeUtf8Into(s + i, n - i, chunk, kChunk, strict, invalid, k);
    if (invalid) return false;
    out.append(chunk, k);
  }
  if (out.size() - start < n / 2 && n > 4096) out.shrink_to_fit();
  return true;
}

bool EncodeUtf8(const wchar_t *src, size_t n, bool strict, std::string &out) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = static_cast<uint32_t>(src[i]);
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      if (strict) return false;
      c = kReplacement;
    }
    char bytes[4];
    out.append(bytes, PutUtf8(c, bytes));
  }
  return true;
}

// 936/950: bytes that start no valid character become '?' and decoding goes
// on at the next byte.
bool DecodeIconv(UINT cp, const char *src, size_t n, bool strict, std::wstring &out) {
  iconv_t cd = t_iconv.Get(cp, true);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char *in = const_cast<char *>(src);
  size_t in_left = n;
  wchar_t chunk[256];
  while (in_left > 0) {
    char *o = reinterpret_cast<char *>(chunk);
    size_t o_left = sizeof(chunk);
    size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    out.append(chunk, (sizeof(chunk) - o_left) / sizeof(wchar_t));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (strict) return false;
    // EILSEQ or a character cut off at the end (EINVAL).
    out += L'?';
    ++in;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return true;
}

bool EncodeIconv(UINT cp, const wchar_t *src, size_t n, const std::string &default_char, bool strict,
                 bool &used_default, std::string &out) {
  iconv_t cd = t_iconv.Get(cp, false);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char *in = reinterpret_cast<char *>(const_cast<wchar_t *>(src));
  size_t in_left = n * sizeof(wchar_t);
  char chunk[512];
  while (in_left > 0) {
    char *o = chunk;
    size_t o_left = sizeof(chunk);
    size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    out.append(chunk, sizeof(chunk) - o_left);
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (strict) return false;
    out += default_char;
    used_default = true;
    in += sizeof(wchar_t);
    in_left -= sizeof(wchar_t);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return true;
}

bool Decode(UINT cp, const char *src, size_t n, bool strict, std::wstring &out) {
  switch (cp) {
    case CP_UTF8:
      return DecodeUtf8(src, n, strict, out);
    case 28591:
      for (size_t i = 0; i < n; ++i) out += static_cast<wchar_t>(static_cast<unsigned char>(src[i]));
      return true;
    default:
      return DecodeIconv(cp, src, n, strict, out);
  }
}

bool Encode(UINT cp, const wchar_t *src, size_t n, const std::string &default_char, bool strict, bool &used_default,
            std::string &out) {
  switch (cp) {
    case CP_UTF8:
      return EncodeUtf8(src, n, strict, out);
    case 28591:
      for (size_t i = 0; i < n; ++i) {
        if (src[i] >= 0 && src[i] < 256) {
          out += static_cast<char>(src[i]);
        } else {
          if (strict) return false;
          out += default_char;
          used_default = true;
        }
      }
      return true;
    default:
      return EncodeIconv(cp, src, n, default_char, strict, used_default, out);
  }
}

template <class T, class Str>
int Deliver(const Str &out, T *dst, int dst_len) {
  if (out.size() > static_cast<size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int needed = static_cast<int>(out.size());
  if (dst_len == 0) return needed;
  if (needed > dst_len) {
    std::memcpy(dst, out.data(), dst_len * sizeof(T));
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, out.data(), needed * sizeof(T));
  return needed;
}

}  // namespace

UINT GetACP() noexcept { return PLATFORM_ANSI_CODE_PAGE; }
UINT GetOEMCP() noexcept { return PLATFORM_ANSI_CODE_PAGE; }

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR src, int src_len, LPWSTR dst, int dst_len) {
  UINT cp = Resolve(code_page);
  if (!src || src_len == 0 || src_len < -1 || dst_len < 0 || (dst_len > 0 && !dst) || !Known(cp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (flags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS) || (cp == CP_UTF8 && (flags & MB_PRECOMPOSED))) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t n = src_len == -1 ? std::strlen(src) + 1 : static_cast<size_t>(src_len);
  std::wstring out;
  if (!Decode(cp, src, n, (flags & MB_ERR_INVALID_CHARS) != 0, out)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return Deliver(out, dst, dst_len);
}

int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR src, int src_len, LPSTR dst, int dst_len,
                        LPCSTR default_char, LPBOOL used_default) {
  UINT cp = Resolve(code_page);
  if (!src || src_len == 0 || src_len < -1 || dst_len < 0 || (dst_len > 0 && !dst) || !Known(cp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cp == CP_UTF8) {
    if (flags & ~WC_ERR_INVALID_CHARS) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    if (default_char || used_default) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  } else if (flags & ~(WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t n = src_len == -1 ? std::wcslen(src) + 1 : static_cast<size_t>(src_len);
  std::string fallback = "?";
  if (default_char && *default_char) fallback.assign(default_char, strnlen(default_char, 2));
  bool used = false;
  std::string out;
  if (!Encode(cp, src, n, fallback, (flags & WC_ERR_INVALID_CHARS) != 0, used, out)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (used_default) *used_default = used ? TRUE : FALSE;
  return Deliver(out, dst, dst_len);
}

std::wstring MultiByteToWide(UINT code_page, const char *bytes, size_t length) {
  std::wstring out;
  UINT cp = Resolve(code_page);
  if (bytes && Known(cp)) Decode(cp, bytes, length, false, out);
  return out;
}

std::wstring MultiByteToWide(UINT code_page, const std::string &bytes) {
  return MultiByteToWide(code_page, bytes.data(), bytes.size());
}

namespace {

size_t DecodePiece(const char *bytes, size_t length, wchar_t *out) {
  bool invalid;
  size_t written;
  DecodeUtf8Into(reinterpret_cast<const unsigned char *>(bytes), length, out, length, false, invalid, written);
  return written;
}
#ifdef TICKORA_UTF8_BLOCKS
size_t DecodePieceBlocks(const char *bytes, size_t length, wchar_t *out) {
  return DecodeUtf8PaddedBlocks(reinterpret_cast<const unsigned char *>(bytes), length, out);
}
size_t DecodePieceShort(const char *bytes, size_t length, wchar_t *out) {
  return DecodeShortPiece(reinterpret_cast<const unsigned char *>(bytes), length, out);
}
size_t DecodePieceWide(const char *bytes, size_t length, wchar_t *out) {
  return DecodeUtf8PaddedWide(reinterpret_cast<const unsigned char *>(bytes), length, out);
}
size_t DecodePieceAvx512(const char *bytes, size_t length, wchar_t *out) {
  return DecodeUtf8PaddedAvx512(reinterpret_cast<const unsigned char *>(bytes), length, out);
}
#endif

}  // namespace

utf8_detail::PieceDecoder utf8_detail::PieceDecoderOf(int level) {
  switch (level) {
    case 0:
      return DecodePiece;
#ifdef TICKORA_UTF8_BLOCKS
    case 1:
      return HasPieceDecoder() ? DecodePieceBlocks : nullptr;
    case 2:
      return HasWidePieceDecoder() ? DecodePieceWide : nullptr;
    case 3:
      return HasAvx512PieceDecoder() ? DecodePieceAvx512 : nullptr;
#endif
    default:
      return nullptr;
  }
}

namespace {

// The decoders DecodePadded uses: the widest blocks for pieces beyond one
// block of sixteen bytes; short pieces are decoded fastest sixteen bytes at
// a time. The first call chooses them for this processor (threads that
// meet there choose alike); after it a piece costs one load and a jump.
size_t ChooseAndDecode(const char *bytes, size_t length, wchar_t *out);
std::atomic<utf8_detail::PieceDecoder> g_shortPieces{ChooseAndDecode};
std::atomic<utf8_detail::PieceDecoder> g_longPieces{ChooseAndDecode};

size_t ChooseAndDecode(const char *bytes, size_t length, wchar_t *out) {
  utf8_detail::PieceDecoder shortPieces = DecodePiece, longPieces = DecodePiece;
#ifdef TICKORA_UTF8_BLOCKS
  if (HasPieceDecoder()) {
    shortPieces = DecodePieceShort;
    longPieces = HasAvx512PieceDecoder() ? DecodePieceAvx512
                 : HasWidePieceDecoder() ? DecodePieceWide
                                         : DecodePieceBlocks;
  }
#endif
  g_shortPieces.store(shortPieces, std::memory_order_relaxed);
  g_longPieces.store(longPieces, std::memory_order_relaxed);
  return (length > 16 ? longPieces : shortPieces)(bytes, length, out);
}

}  // namespace

size_t utf8_detail::DecodePadded(const char *bytes, size_t length, wchar_t *out) {
  return (length > 16 ? g_longPieces : g_shortPieces).load(std::memory_order_relaxed)(bytes, length, out);
}

std::string WideToMultiByte(UINT code_page, const wchar_t *text, size_t length) {
  std::string out;
  UINT cp = Resolve(code_page);
  bool used = false;
  if (text && Known(cp)) Encode(cp, text, length, "?", false, used, out);
  return out;
}

std::string WideToMultiByte(UINT code_page, const std::wstring &text) {
  return WideToMultiByte(code_page, text.data(), text.size());
}

std::wstring Utf16LeToWide(const void *bytes, size_t byte_count) {
  std::wstring out;
  if (!bytes) return out;
  const unsigned char *b = static_cast<const unsigned char *>(bytes);
  size_t units = byte_count / 2;
  out.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    uint32_t u = b[2 * i] | (b[2 * i + 1] << 8);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      uint32_t v = b[2 * i + 2] | (b[2 * i + 3] << 8);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++i;
        continue;
      }
    }
    out += (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : static_cast<wchar_t>(u);
  }
  return out;
}

std::string WideToUtf16Le(const wchar_t *text, size_t length) {
  std::string out;
  if (!text) return out;
  out.reserve(length * 2);
  auto unit = [&out](uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
    if (c >= 0x10000) {
      c -= 0x10000;
      unit(0xD800 | (c >> 10));
      unit(0xDC00 | (c & 0x3FF));
    } else {
      unit(c);
    }
  }
  return out;
}

std::string WideToUtf16Le(const std::wstring &text) { return WideToUtf16Le(text.data(), text.size()); }
